#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <functional>
#include <string>
#include <thread>

#include "tools/panel-sim/Net.h"
#include "tools/panel-sim/StopSignal.h"
#include "tools/panel-sim/WorkerSet.h"

// A listening TCP port of the simulated panel: one accepting thread, one thread per client.
// Created and destroyed by main(); the stop signal it borrows must outlive it.
class TTcpServer {
 public:
  // Runs on the client's own thread; owns the connection.
  using THandler = std::function<void(TFd client, const sockaddr_in& peer)>;

  // Binds at once, so that a port in use is reported before anything runs. Throws ENetError.
  // `name` prefixes the log lines ("video", "signal").
  TTcpServer(std::string name, const in_addr& address, std::uint16_t port, std::size_t maxClients,
             const TStopSignal& stop);
  // Waits for the accepting thread and every client thread: give the stop signal first.
  ~TTcpServer();
  TTcpServer(const TTcpServer&) = delete;
  TTcpServer& operator=(const TTcpServer&) = delete;

  // The bound address and port (the port the system chose when 0 was asked).
  sockaddr_in endpoint() const;

  // Starts accepting; at most once.
  void start(THandler handler);

 private:
  void acceptLoop();

  std::string m_name;
  std::size_t m_maxClients;
  const TStopSignal& m_stop;
  TFd m_listener;
  THandler m_handler;
  TWorkerSet m_clients;
  std::thread m_acceptor;
};
