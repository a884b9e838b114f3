#include "tests/tools/PanelSimSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

extern char** environ;

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

sockaddr_in endpoint(const std::string& address, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  return a;
}

}  // namespace

TPanelSim::TPanelSim(const std::vector<std::string>& args) {
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<std::string> argv{PANEL_SIM_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  int r = ::posix_spawn(&m_pid, PANEL_SIM_PATH, &actions, nullptr, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  m_outFd = out[0];
  m_errFd = err[0];
  if (r != 0) {
    ADD_FAILURE() << "cannot start " << PANEL_SIM_PATH << ": " << std::strerror(r);
    m_pid = -1;
  }
}

TPanelSim::~TPanelSim() {
  if (m_pid > 0 && !m_status) {
    ::kill(m_pid, SIGTERM);
    if (waitForExit(milliseconds(5000)) == -1) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  if (m_outFd >= 0) ::close(m_outFd);
  if (m_errFd >= 0) ::close(m_errFd);
}

bool TPanelSim::pump(milliseconds timeout) {
  pollfd p[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
  if (m_outFd < 0 && m_errFd < 0) return false;
  if (::poll(p, 2, static_cast<int>(timeout.count())) <= 0) return true;
  int* fds[2] = {&m_outFd, &m_errFd};
  std::string* sinks[2] = {&m_out, &m_err};
  for (int i = 0; i < 2; ++i) {
    if (p[i].revents == 0) continue;
    char buffer[4096];
    ssize_t n = ::read(*fds[i], buffer, sizeof buffer);
    if (n > 0) {
      sinks[i]->append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      ::close(*fds[i]);
      *fds[i] = -1;
    }
  }
  return m_outFd >= 0 || m_errFd >= 0;
}

std::string TPanelSim::waitForLine(const std::string& text, milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  std::size_t searched = 0;  // lines before this offset did not match
  for (;;) {
    for (std::size_t nl; (nl = m_out.find('\n', searched)) != std::string::npos;
         searched = nl + 1) {
      std::string line = m_out.substr(searched, nl - searched);
      if (line.find(text) != std::string::npos) return line;
    }
    if (Clock::now() >= end || !pump(milliseconds(msLeft(end)))) break;
  }
  ADD_FAILURE() << "panel-sim printed no line with \"" << text << "\"\nstdout:\n"
                << m_out << "stderr:\n"
                << m_err;
  return {};
}

int TPanelSim::waitForExit(milliseconds deadline) {
  if (m_status) return *m_status;
  if (m_pid <= 0) return -1;
  const auto end = Clock::now() + deadline;
  // The child's pipes close when it ends; it starts nothing that would keep them open.
  while (pump(milliseconds(msLeft(end))))
    if (Clock::now() >= end) {
      ADD_FAILURE() << "panel-sim did not end in time\nstdout:\n" << m_out << "stderr:\n" << m_err;
      return -1;
    }
  int status = 0;
  ::waitpid(m_pid, &status, 0);
  m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return *m_status;
}

void TPanelSim::terminate() {
  if (m_pid > 0 && !m_status) ::kill(m_pid, SIGTERM);
}

int runPanelSim(const std::vector<std::string>& args, std::string* out, std::string* err) {
  TPanelSim sim(args);
  int status = sim.waitForExit();
  if (out) *out = sim.out();
  if (err) *err = sim.err();
  return status;
}

std::uint16_t portAtEnd(const std::string& line) {
  auto colon = line.rfind(':');
  if (colon == std::string::npos) return 0;
  return static_cast<std::uint16_t>(std::stoul(line.substr(colon + 1)));
}

std::uint16_t listeningPort(TPanelSim& sim, const std::string& service) {
  const std::string line = sim.waitForLine(service + ": listening on ");
  return portAtEnd(line.substr(0, line.find(',')));
}

TConnection::~TConnection() {
  if (m_fd >= 0) ::close(m_fd);
}

TConnection::TConnection(TConnection&& other) noexcept
    : m_fd(other.m_fd), m_buffer(std::move(other.m_buffer)), m_closed(other.m_closed) {
  other.m_fd = -1;
}

TConnection& TConnection::operator=(TConnection&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = other.m_fd;
    m_buffer = std::move(other.m_buffer);
    m_closed = other.m_closed;
    other.m_fd = -1;
  }
  return *this;
}

sockaddr_in TConnection::peer() const {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  ::getpeername(m_fd, reinterpret_cast<sockaddr*>(&a), &length);
  return a;
}

void TConnection::send(const std::string& bytes) {
  ASSERT_EQ(::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(bytes.size()));
}

bool TConnection::fill(Clock::time_point deadline) {
  if (m_closed || m_fd < 0) return false;
  pollfd p{m_fd, POLLIN, 0};
  if (::poll(&p, 1, msLeft(deadline)) <= 0) return false;
  char buffer[65536];
  ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
  if (n <= 0) {
    m_closed = true;
    return false;
  }
  m_buffer.append(buffer, static_cast<std::size_t>(n));
  return true;
}

std::string TConnection::readUntilClosed(milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  while (fill(end)) {
  }
  if (!m_closed) ADD_FAILURE() << "the peer did not close the connection in time";
  return std::exchange(m_buffer, {});
}

std::string TConnection::readExactly(std::size_t count, milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  while (m_buffer.size() < count && fill(end)) {
  }
  std::string out = m_buffer.substr(0, count);
  m_buffer.erase(0, out.size());
  return out;
}

std::optional<std::string> TConnection::readLine(milliseconds deadline) {
  const auto end = Clock::now() + deadline;
  std::size_t nl;
  while ((nl = m_buffer.find('\n')) == std::string::npos)
    if (!fill(end)) return std::nullopt;
  std::string line = m_buffer.substr(0, nl);
  m_buffer.erase(0, nl + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string TConnection::readAvailable() {
  while (fill(Clock::now())) {
  }
  return std::exchange(m_buffer, {});
}

bool TConnection::peerClosed() {
  readAvailable();
  return m_closed;
}

TConnection connectTo(const std::string& address, std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = endpoint(address, port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ADD_FAILURE() << "cannot connect to " << address << ":" << port << ": " << std::strerror(errno);
    ::close(fd);
    return TConnection();
  }
  return TConnection(fd);
}

TListener::TListener(const std::string& address, std::uint16_t port, bool listening)
    : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  int on = 1;
  ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a = endpoint(address, port);
  if (::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      (listening && ::listen(m_fd, 16) != 0)) {
    ::close(m_fd);
    m_fd = -1;
  }
}

TListener::~TListener() {
  if (m_fd >= 0) ::close(m_fd);
}

std::uint16_t TListener::port() const {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &length);
  return ntohs(a.sin_port);
}

TConnection TListener::accept(milliseconds deadline) {
  pollfd p{m_fd, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(deadline.count())) <= 0) {
    ADD_FAILURE() << "no connection came in time";
    return TConnection();
  }
  return TConnection(::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC));
}

void sendDatagram(const std::string& address, std::uint16_t port, const std::string& payload) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = endpoint(address, port);
  EXPECT_EQ(
      ::sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a),
      static_cast<ssize_t>(payload.size()));
  ::close(fd);
}

std::string ipOf(const sockaddr_in& endpoint) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &endpoint.sin_addr, text, sizeof text);
  return text;
}
