#include "tools/panel-sim/TcpServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "tools/panel-sim/SimLog.h"

TTcpServer::TTcpServer(std::string name, const in_addr& address, std::uint16_t port,
                       std::size_t maxClients, const TStopSignal& stop)
    : m_name(std::move(name)),
      m_maxClients(maxClients),
      m_stop(stop),
      m_listener(listenTcp(address, port)) {}

TTcpServer::~TTcpServer() {
  if (m_acceptor.joinable()) m_acceptor.join();
}

sockaddr_in TTcpServer::endpoint() const { return localEndpoint(m_listener.get()); }

void TTcpServer::start(THandler handler) {
  m_handler = std::move(handler);
  m_acceptor = std::thread([this] { acceptLoop(); });
}

void TTcpServer::acceptLoop() {
  while (!m_stop.stopped()) {
    pollfd p[2] = {{m_listener.get(), POLLIN, 0}, {m_stop.fd(), POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      errorLine(m_name + ": waiting for clients failed: " + std::strerror(errno));
      return;
    }
    if (p[1].revents & POLLIN) return;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    TFd client(
        ::accept4(m_listener.get(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
    if (!client) {
      // The client gave up before we took it, or no descriptor is left: then give the
      // clients a moment to end rather than spin.
      if (errno == EMFILE || errno == ENFILE) m_stop.waitFor(std::chrono::milliseconds(100));
      continue;
    }
    auto shared = std::make_shared<TFd>(std::move(client));
    bool started = m_clients.launch([this, shared, peer] { m_handler(std::move(*shared), peer); },
                                    m_maxClients);
    if (!started)
      logLine(m_name + ": client " + endpointText(peer) +
              " refused: " + std::to_string(m_maxClients) + " clients already");
  }
}
