#include "tests/api/HttpPeerSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "base/Text.h"

namespace {

int listenOnLoopback(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(fd, 16);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return fd;
}

// Waits for input while the peer runs; false when it stops or the wait is over.
bool readable(int fd, const std::atomic<bool>& stop) {
  while (!stop.load()) {
    pollfd p{fd, POLLIN, 0};
    int n = ::poll(&p, 1, 50);
    if (n > 0) return true;
    if (n < 0) return false;
  }
  return false;
}

}  // namespace

std::string THttpPeer::TRequest::header(const std::string& name) const {
  for (const auto& [k, v] : headers) {
    if (lowerAscii(k) == lowerAscii(name)) return v;
  }
  return "";
}

bool THttpPeer::TRequest::hasHeader(const std::string& name) const {
  for (const auto& h : headers) {
    if (lowerAscii(h.first) == lowerAscii(name)) return true;
  }
  return false;
}

THttpPeer::THttpPeer(TResponder responder) : m_responder(std::move(responder)) {
  m_listenFd = listenOnLoopback(m_port);
  m_acceptor = std::thread([this] { acceptLoop(); });
}

THttpPeer::~THttpPeer() {
  m_stop.store(true);
  m_acceptor.join();
  for (std::thread& t : m_connections) t.join();
  ::close(m_listenFd);
}

std::vector<THttpPeer::TRequest> THttpPeer::requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

std::size_t THttpPeer::requestCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests.size();
}

std::string THttpPeer::reply(int status, const std::string& reason, const std::string& body,
                             const std::string& extraHeaders) {
  return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n" + extraHeaders +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

void THttpPeer::acceptLoop() {
  while (readable(m_listenFd, m_stop)) {
    int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    m_connections.emplace_back([this, fd] { serve(fd); });
  }
}

void THttpPeer::serve(int fd) {
  std::string buffer;
  char chunk[4096];
  for (;;) {
    std::size_t end;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
      if (!readable(fd, m_stop)) return ::close(fd), void();
      ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n <= 0) return ::close(fd), void();
      buffer.append(chunk, static_cast<std::size_t>(n));
    }
    TRequest req;
    std::string head = buffer.substr(0, end);
    buffer.erase(0, end + 4);
    std::size_t lineEnd = head.find("\r\n");
    std::string requestLine = head.substr(0, lineEnd);
    std::size_t sp1 = requestLine.find(' ');
    std::size_t sp2 = requestLine.rfind(' ');
    req.method = requestLine.substr(0, sp1);
    req.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    std::size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
      std::size_t next = head.find("\r\n", pos);
      if (next == std::string::npos) next = head.size();
      std::string line = head.substr(pos, next - pos);
      std::size_t colon = line.find(':');
      if (colon != std::string::npos) {
        req.headers.emplace_back(line.substr(0, colon), trimText(line.substr(colon + 1)));
      }
      pos = next + 2;
    }
    std::size_t length = std::strtoul(req.header("Content-Length").c_str(), nullptr, 10);
    while (buffer.size() < length) {
      if (!readable(fd, m_stop)) return ::close(fd), void();
      ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n <= 0) return ::close(fd), void();
      buffer.append(chunk, static_cast<std::size_t>(n));
    }
    req.body = buffer.substr(0, length);
    buffer.erase(0, length);
    int index;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      index = static_cast<int>(m_requests.size());
      m_requests.push_back(req);
    }
    std::string answer = m_responder(req, index);
    if (answer.empty()) return ::close(fd), void();
    std::size_t sent = 0;
    while (sent < answer.size()) {
      ssize_t n = ::send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return ::close(fd), void();
      sent += static_cast<std::size_t>(n);
    }
  }
}

TSilentPeer::TSilentPeer() { m_fd = listenOnLoopback(m_port); }

TSilentPeer::~TSilentPeer() { ::close(m_fd); }

std::string closedLoopbackAddress() {
  int port = 0;
  int fd = listenOnLoopback(port);
  ::close(fd);
  return "127.0.0.1:" + std::to_string(port);
}
