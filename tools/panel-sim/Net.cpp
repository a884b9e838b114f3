#include "tools/panel-sim/Net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

std::string systemReason(int code) { return std::strerror(code); }

int millisecondsLeft(steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Waits for `events` on fd until the deadline; false on time-out or stop.
bool waitFor(int fd, short events, steady_clock::time_point deadline, int stopFd) {
  for (;;) {
    pollfd p[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    int r = ::poll(p, stopFd >= 0 ? 2 : 1, millisecondsLeft(deadline));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    if (stopFd >= 0 && (p[1].revents & POLLIN)) return false;
    return true;
  }
}

sockaddr_in endpoint(const in_addr& address, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr = address;
  a.sin_port = htons(port);
  return a;
}

TFd newSocket(int type) {
  TFd fd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
  if (!fd) throw ENetError("cannot create a socket: " + systemReason(errno));
  return fd;
}

void bindTo(const TFd& fd, const sockaddr_in& a, const char* what) {
  int on = 1;
  ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
    throw ENetError(std::string("cannot ") + what + " on " + endpointText(a) + ": " +
                    systemReason(errno));
}

}  // namespace

TFd::~TFd() { reset(); }

TFd::TFd(TFd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }

TFd& TFd::operator=(TFd&& other) noexcept {
  if (this != &other) {
    reset();
    m_fd = other.m_fd;
    other.m_fd = -1;
  }
  return *this;
}

void TFd::reset() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

std::string ipText(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

std::string endpointText(const sockaddr_in& e) {
  return ipText(e.sin_addr) + ":" + std::to_string(ntohs(e.sin_port));
}

std::optional<in_addr> parseIpv4(const std::string& text) {
  in_addr a{};
  if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
  return a;
}

std::optional<std::uint16_t> parsePort(const std::string& text, bool allowZero) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 65535 || (value == 0 && !allowZero)) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::optional<THostPort> splitHostPort(const std::string& text, std::uint16_t defaultPort) {
  THostPort result{text, defaultPort};
  auto colon = text.rfind(':');
  if (colon != std::string::npos) {
    auto port = parsePort(text.substr(colon + 1), false);
    if (!port) return std::nullopt;
    result.host = text.substr(0, colon);
    result.port = *port;
  }
  if (result.host.empty()) return std::nullopt;
  return result;
}

sockaddr_in resolveIpv4(const std::string& host, std::uint16_t port) {
  if (auto a = parseIpv4(host)) return endpoint(*a, port);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int r = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (r != 0 || !found) throw ENetError("cannot resolve " + host + ": " + ::gai_strerror(r));
  sockaddr_in a = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  ::freeaddrinfo(found);
  a.sin_port = htons(port);
  return a;
}

TFd connectTcp(const sockaddr_in& to, const std::optional<in_addr>& from, milliseconds timeout,
               int stopFd) {
  const auto deadline = steady_clock::now() + timeout;
  const std::string target = endpointText(to);
  TFd fd = newSocket(SOCK_STREAM);
  if (from) {
    sockaddr_in local = endpoint(*from, 0);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
      throw ENetError("cannot use source address " + ipText(*from) + ": " + systemReason(errno));
  }
  int flags = ::fcntl(fd.get(), F_GETFL);
  ::fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK);
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    if (errno != EINPROGRESS)
      throw ENetError("cannot reach " + target + ": " + systemReason(errno));
    if (!waitFor(fd.get(), POLLOUT, deadline, stopFd))
      throw ENetError("cannot reach " + target + ": no answer within " +
                      std::to_string(timeout.count()) + " ms");
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) throw ENetError("cannot reach " + target + ": " + systemReason(error));
  }
  ::fcntl(fd.get(), F_SETFL, flags);
  return fd;
}

TFd listenTcp(const in_addr& address, std::uint16_t port) {
  TFd fd = newSocket(SOCK_STREAM);
  sockaddr_in a = endpoint(address, port);
  bindTo(fd, a, "listen");
  if (::listen(fd.get(), 64) != 0)
    throw ENetError("cannot listen on " + endpointText(a) + ": " + systemReason(errno));
  return fd;
}

TFd bindUdp(const in_addr& address, std::uint16_t port) {
  TFd fd = newSocket(SOCK_DGRAM);
  bindTo(fd, endpoint(address, port), "listen for datagrams");
  return fd;
}

sockaddr_in localEndpoint(int fd) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  return a;
}

sockaddr_in peerEndpoint(int fd) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  ::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &length);
  return a;
}

bool sendAll(int fd, const void* data, std::size_t size, int stopFd) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    pollfd w[2] = {{fd, POLLOUT, 0}, {stopFd, POLLIN, 0}};
    int r = ::poll(w, stopFd >= 0 ? 2 : 1, -1);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return false;
    if (stopFd >= 0 && (w[1].revents & POLLIN)) return false;
    if (w[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
    ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool sendAll(int fd, const std::string& data, int stopFd) {
  return sendAll(fd, data.data(), data.size(), stopFd);
}

std::string receiveSome(int fd, milliseconds timeout, std::size_t maxBytes, int stopFd) {
  if (!waitFor(fd, POLLIN, steady_clock::now() + timeout, stopFd)) return {};
  std::string buffer(maxBytes, '\0');
  ssize_t n = ::recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
  if (n <= 0) return {};
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

void finishConnection(int fd, milliseconds timeout, int stopFd) {
  ::shutdown(fd, SHUT_WR);
  const auto deadline = steady_clock::now() + timeout;
  char sink[4096];
  while (waitFor(fd, POLLIN, deadline, stopFd)) {
    ssize_t n = ::recv(fd, sink, sizeof sink, MSG_DONTWAIT);
    if (n == 0) return;
    if (n < 0 && errno != EAGAIN && errno != EINTR) return;
  }
}

bool watchClient(int fd, std::chrono::steady_clock::time_point until, int stopFd,
                 const std::function<bool(const std::string&)>& received) {
  using std::chrono::steady_clock;
  for (;;) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(until - steady_clock::now()).count();
    pollfd p[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    int r = ::poll(p, 2, static_cast<int>(std::clamp<decltype(left)>(left, 0, 60000)));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || (p[1].revents & POLLIN)) return false;
    if (r == 0) {
      if (steady_clock::now() >= until) return true;
      continue;
    }
    if (p[0].revents & (POLLERR | POLLNVAL)) return false;
    char buffer[1024];
    ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return false;
    if (n > 0 && received && received(std::string(buffer, static_cast<std::size_t>(n))))
      return true;
  }
}
