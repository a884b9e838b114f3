#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/NetInterfaces.h"

// The host's address and the interfaces it can use, found at start-up. Everything here runs on
// the UI thread; the records below live only while start-up looks at them.

// One row of the interface table, with the first IPv4 address of that interface (empty when it
// has none).
struct TAdapterInfo {
  std::uint32_t Index = 0;
  std::uint32_t Type = 0;
  std::uint32_t Mtu = 0;
  double Speed = 0;  // bits per second
  std::string PhysAddress;
  std::uint32_t AdminStatus = 0;
  std::uint32_t OperStatus = 0;
  TIfCounters Counters;
  std::string Description;
  std::string Address;
  std::string Mask;
};

// One row of the IPv4 address table. State is the administrative status name of the owning
// interface, or a single blank when the interface table has no row for it.
struct zRealAddressesList {
  std::uint32_t Index = 0;
  std::string Address;
  std::string Mask;
  std::string Broadcast;
  std::string State = " ";
};

struct TAdapterTables {
  bool ok = false;
  std::vector<TAdapterInfo> adapters;
  std::vector<zRealAddressesList> addresses;
};

// What the inventory leaves for the rest of the run. Owned by the main window; UI thread only.
// InterfaceAddresses and BroadcastAddresses are parallel: entry i of the second is the
// broadcast address of entry i of the first.
struct TNetworkState {
  std::string HostIP;
  std::vector<std::string> InterfaceAddresses;
  std::vector<std::string> BroadcastAddresses;
  std::vector<std::string> DownInterfaces;  // addresses whose interface is administratively down
  bool MultipleInterfaces = false;
};

// extractField asked for a field the text does not have.
class EFieldMissing : public std::out_of_range {
 public:
  using std::out_of_range::out_of_range;
};

// A text that is not a dotted IPv4 address where one is needed.
class EBadAddress : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The address the host is known by, dotted. The first non-loop-back IPv4 address of the host's
// own name; when the name gives nothing or only loop-back addresses (a Debian /etc/hosts maps it
// to 127.0.1.1), the first address of the first operational non-loop-back interface; "0.0.0.0"
// when there is none. May block while the resolver asks DNS.
std::string getHostIP(const INetInterfaces& net);

// Both tables of the platform as records, in table order. ok is false when either table is
// unavailable or empty, or a row cannot be read; the arrays are then empty.
TAdapterTables fetchAdapters(const INetInterfaces& net);

// Each octet of the address OR the inverse of the mask's octet. Throws EBadAddress when either
// text is not four decimal octets of 0..255.
std::string broadcastOf(const std::string& address, const std::string& mask);

// 1 "UP", 2 "DOWN", 3 "TESTING", anything else "UNKNOWN".
std::string adminStatusName(std::uint32_t code);

// Field n, counted from 0, of the text cut at every delimiter (empty fields kept). Throws
// EFieldMissing when there is no field n.
std::string extractField(const std::string& text, char delimiter, int n);

// The start-up inventory: logs each operational interface with its addresses and fills the
// lists and MultipleInterfaces of the state (replacing what they held), comparing with
// state.HostIP, which must be set before. When the tables cannot be read, or anything fails on
// the way, the failure is logged and the lists stay empty.
void runInterfaceInventory(const INetInterfaces& net, TNetworkState& state);
