#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "tools/panel-sim/Net.h"
#include "tools/panel-sim/StopSignal.h"
#include "tools/panel-sim/WorkerSet.h"

// The workstation's address in a discovery datagram "<ip>;streamer", optionally followed by
// CR LF; nothing for any other datagram.
std::optional<in_addr> parseDiscoveryDatagram(const std::string& payload);

// Answers discovery as a panel does: for each datagram "<ip>;streamer" it connects to
// <ip>:notifyPort and sends "ntmy;<own address>" scrambled, then logs the workstation's reply.
// One receiving thread, one short-lived thread per answer. Created and destroyed by main();
// the stop signal it borrows must outlive it.
class TDiscoveryResponder {
 public:
  // Binds at once (throws ENetError). `announce` is the address put in "ntmy"; without it the
  // local address of the connection to the workstation is used. `source`, when given, is the
  // local address the answers are sent from.
  TDiscoveryResponder(const in_addr& bind, std::uint16_t port, std::uint16_t notifyPort,
                      std::optional<in_addr> announce, std::optional<in_addr> source,
                      const TStopSignal& stop);
  // Waits for every thread: give the stop signal first.
  ~TDiscoveryResponder();
  TDiscoveryResponder(const TDiscoveryResponder&) = delete;
  TDiscoveryResponder& operator=(const TDiscoveryResponder&) = delete;

  sockaddr_in endpoint() const;
  void start();

 private:
  void receiveLoop();
  void answer(const in_addr& workstation);

  std::uint16_t m_notifyPort;
  std::optional<in_addr> m_announce;
  std::optional<in_addr> m_source;
  const TStopSignal& m_stop;
  TFd m_socket;
  TWorkerSet m_answers;
  std::thread m_receiver;
};
