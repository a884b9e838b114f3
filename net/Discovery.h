#pragma once

#include <QHostAddress>
#include <QUdpSocket>
#include <cstdint>
#include <string>
#include <vector>

#include "core/AppSettings.h"
#include "net/AdapterInfo.h"

// The panels that announced themselves ("ntmy"), kept sorted; adding an address already listed
// changes nothing. UI thread only.
class TSniffedIPs {
 public:
  void add(const std::string& address);
  void clear();
  bool contains(const std::string& address) const;
  bool empty() const { return m_items.empty(); }
  const std::vector<std::string>& items() const { return m_items; }

 private:
  std::vector<std::string> m_items;
};

// The detection LED of the main window. Implemented by the main window, and by fakes in tests.
// UI thread only.
class ILedView {
 public:
  virtual ~ILedView() = default;
  // true: the detected icon; false: the none-detected icon.
  virtual void setLedIcon(bool detected) = 0;
  virtual void setLedHint(const std::string& hint) = 0;
  virtual std::string ledHint() const = 0;
};

// Tells the panels where this workstation is, and keeps the list of those that answered.
// Owned by the main window and used on its UI thread only (timers, start-up, settings window).
class TDiscovery {
 public:
  static constexpr std::uint16_t DiscoveryPort = 22451;

  // network: the interface lists, read at every pass (the settings window may change them).
  // led: the detection LED. Both are owned by the caller and must outlive this object. The
  // panel addresses are read from the settings' platines at every pass.
  TDiscovery(const TAppSettings& settings, const TNetworkState& network, ILedView& led);
  ~TDiscovery();
  TDiscovery(const TDiscovery&) = delete;
  TDiscovery& operator=(const TDiscovery&) = delete;

  // One discovery pass: from each interface address a broadcast to 255.255.255.255, then the
  // same announcement by unicast to every entry of platines. Host names among the entries are
  // resolved here, which may block while the resolver asks DNS.
  void BCast();
  // The discovery timer's tick: empties SniffedIPs every second tick, then runs a pass.
  void onDiscoveryTick();
  // The detection LED's part of the one-second tick.
  void ledStep();
  // Error report of the unicast socket: logs the Winsock code with a hint for the usual two.
  void onUdpSocketError(int code);

  TSniffedIPs& SniffedIPs() { return m_sniffedIPs; }
  const TSniffedIPs& SniffedIPs() const { return m_sniffedIPs; }

 private:
  void broadcastFrom(const std::string& interfaceAddress);
  void sendUnicast(const std::string& destination, const std::string& payload);
  void openUnicast(const std::string& destination);

  const TAppSettings& m_settings;
  const TNetworkState& m_network;
  ILedView& m_led;
  TSniffedIPs m_sniffedIPs;
  int m_tickCounter = 0;
  int m_ledDelay = 0;

  // The unicast socket lives between passes and is re-opened only when the destination changes.
  QUdpSocket m_unicast;
  std::string m_unicastDestination;
  QHostAddress m_unicastAddress;  // null while the destination could not be used
};
