#include "tools/panel-sim/ApiLink.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// How long a client that closes its side is given to read our last bytes.
constexpr milliseconds FinishWait{2000};

int millisecondsLeft(steady_clock::time_point deadline) {
  auto left = std::chrono::ceil<milliseconds>(deadline - steady_clock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, 60000));
}

// False on deadline, stop or a failed poll.
bool waitOn(int fd, short events, steady_clock::time_point deadline, int stopFd) {
  for (;;) {
    pollfd p[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    int r = ::poll(p, 2, millisecondsLeft(deadline));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 || (p[1].revents & POLLIN)) return false;
    if (r > 0) return true;
    if (steady_clock::now() >= deadline) return false;
  }
}

}  // namespace

TApiLink::TApiLink(TFd fd, SSL_CTX* tls, const TStopSignal& stop, milliseconds deadline)
    : m_fd(std::move(fd)), m_stop(stop) {
  // Non-blocking, so that TLS reads and writes come back to poll() rather than block.
  ::fcntl(m_fd.get(), F_SETFL, ::fcntl(m_fd.get(), F_GETFL) | O_NONBLOCK);
  if (!tls) return;
  m_ssl.reset(SSL_new(tls));
  if (!m_ssl || SSL_set_fd(m_ssl.get(), m_fd.get()) != 1)
    throw std::runtime_error("TLS: cannot set up the connection");
  const auto end = steady_clock::now() + deadline;
  for (;;) {
    int r = SSL_accept(m_ssl.get());
    if (r == 1) return;
    if (!waitForTls(r, end)) {
      m_ssl.reset();  // nothing to shut down politely
      throw std::runtime_error("TLS handshake failed");
    }
  }
}

TApiLink::~TApiLink() = default;

bool TApiLink::waitForTls(int result, steady_clock::time_point deadline) {
  switch (SSL_get_error(m_ssl.get(), result)) {
    case SSL_ERROR_WANT_READ:
      return waitOn(m_fd.get(), POLLIN, deadline, m_stop.fd());
    case SSL_ERROR_WANT_WRITE:
      return waitOn(m_fd.get(), POLLOUT, deadline, m_stop.fd());
    default:
      return false;
  }
}

std::string TApiLink::readSome(std::size_t maxBytes, milliseconds deadline) {
  const auto end = steady_clock::now() + deadline;
  std::string buffer(maxBytes, '\0');
  for (;;) {
    if (m_ssl) {
      int n = SSL_read(m_ssl.get(), buffer.data(), static_cast<int>(buffer.size()));
      if (n > 0) {
        buffer.resize(static_cast<std::size_t>(n));
        return buffer;
      }
      if (!waitForTls(n, end)) return {};
    } else {
      ssize_t n = ::recv(m_fd.get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (n > 0) {
        buffer.resize(static_cast<std::size_t>(n));
        return buffer;
      }
      if (n == 0 || (errno != EAGAIN && errno != EINTR)) return {};
      if (!waitOn(m_fd.get(), POLLIN, end, m_stop.fd())) return {};
    }
  }
}

bool TApiLink::writeAll(const std::string& bytes) {
  if (!m_ssl) return sendAll(m_fd.get(), bytes, m_stop.fd());
  std::size_t sent = 0;
  // A client that stops reading altogether is dropped after a while, like a silent one.
  const auto end = steady_clock::now() + milliseconds(10000);
  while (sent < bytes.size()) {
    int n = SSL_write(m_ssl.get(), bytes.data() + sent, static_cast<int>(bytes.size() - sent));
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (!waitForTls(n, end)) return false;
  }
  return true;
}

void TApiLink::finish() {
  if (m_ssl) SSL_shutdown(m_ssl.get());  // our close_notify; the client's is not awaited
  finishConnection(m_fd.get(), FinishWait, m_stop.fd());
}
