#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Helpers for running the real panel-sim binary against sockets a test opens on loopback.
// Every wait has a generous deadline and fails the test rather than hang.

inline constexpr std::chrono::milliseconds Deadline{10000};

// panel-sim as a child process, its stdout and stderr captured. Terminated (SIGTERM, then
// SIGKILL) and reaped on destruction if still running.
class TPanelSim {
 public:
  explicit TPanelSim(const std::vector<std::string>& args);
  ~TPanelSim();
  TPanelSim(const TPanelSim&) = delete;
  TPanelSim& operator=(const TPanelSim&) = delete;

  // The first stdout line containing `text`, waiting for it; empty (and a test failure) when
  // it does not come before the deadline or the process ends without it.
  std::string waitForLine(const std::string& text, std::chrono::milliseconds deadline = Deadline);
  // Waits for the process to end; its exit status, or -1 (and a failure) after the deadline.
  int waitForExit(std::chrono::milliseconds deadline = Deadline);
  // Sends SIGTERM, as a user stopping the panel does.
  void terminate();

  const std::string& out() const { return m_out; }
  const std::string& err() const { return m_err; }

 private:
  // Reads what the child wrote, waiting at most `timeout`; false once both pipes are closed.
  bool pump(std::chrono::milliseconds timeout);

  pid_t m_pid = -1;
  int m_outFd = -1;
  int m_errFd = -1;
  std::string m_out;
  std::string m_err;
  std::optional<int> m_status;
};

// Runs panel-sim to its end; returns its exit status (output in `sim` if wanted).
int runPanelSim(const std::vector<std::string>& args, std::string* out = nullptr,
                std::string* err = nullptr);

// The port at the end of a "... ADDR:PORT" line.
std::uint16_t portAtEnd(const std::string& line);

// The port a serving panel-sim printed for a service ("video", "signal", "discovery"), waiting
// for the line "SERVICE: listening on [UDP ]ADDR:PORT[, details]".
std::uint16_t listeningPort(TPanelSim& sim, const std::string& service);

// One connected TCP socket, owned.
class TConnection {
 public:
  explicit TConnection(int fd = -1) : m_fd(fd) {}
  ~TConnection();
  TConnection(TConnection&& other) noexcept;
  TConnection& operator=(TConnection&& other) noexcept;
  TConnection(const TConnection&) = delete;
  TConnection& operator=(const TConnection&) = delete;

  int fd() const { return m_fd; }
  explicit operator bool() const { return m_fd >= 0; }
  sockaddr_in peer() const;

  void send(const std::string& bytes);
  // Everything until the peer closes; what came so far on deadline (with a failure).
  std::string readUntilClosed(std::chrono::milliseconds deadline = Deadline);
  // Exactly `count` bytes, fewer only when the peer closed or the deadline passed.
  std::string readExactly(std::size_t count, std::chrono::milliseconds deadline = Deadline);
  // One line without its CR LF; nothing when the peer closed first.
  std::optional<std::string> readLine(std::chrono::milliseconds deadline = Deadline);
  // Bytes already waiting, without blocking.
  std::string readAvailable();
  // True when the peer has closed (no bytes waiting and end of stream), without blocking.
  bool peerClosed();

 private:
  // Fills m_buffer by one read; false on close or deadline.
  bool fill(std::chrono::steady_clock::time_point deadline);

  int m_fd = -1;
  std::string m_buffer;  // read but not yet handed out
  bool m_closed = false;
};

TConnection connectTo(const std::string& address, std::uint16_t port);

// A listening socket standing for a workstation. Not listening, it holds a port on which
// every connection is refused.
class TListener {
 public:
  explicit TListener(const std::string& address = "127.0.0.1", std::uint16_t port = 0,
                     bool listening = true);
  ~TListener();
  TListener(const TListener&) = delete;
  TListener& operator=(const TListener&) = delete;

  // False when the address could not be bound (the port is taken).
  bool ok() const { return m_fd >= 0; }
  std::uint16_t port() const;
  std::string portText() const { return std::to_string(port()); }
  // The next connection; an empty one (and a failure) after the deadline.
  TConnection accept(std::chrono::milliseconds deadline = Deadline);

 private:
  int m_fd = -1;
};

// Sends one UDP datagram from 127.0.0.1.
void sendDatagram(const std::string& address, std::uint16_t port, const std::string& payload);

std::string ipOf(const sockaddr_in& endpoint);
