#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

// Plain POSIX socket helpers of the simulated panel: IPv4 only, as the panels are.

// A network failure, with a text fit for the user (what was tried, and the system's reason).
class ENetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Owns one file descriptor; closes it on destruction.
class TFd {
 public:
  TFd() = default;
  explicit TFd(int fd) : m_fd(fd) {}
  ~TFd();
  TFd(TFd&& other) noexcept;
  TFd& operator=(TFd&& other) noexcept;
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;

  int get() const { return m_fd; }
  explicit operator bool() const { return m_fd >= 0; }
  void reset();

 private:
  int m_fd = -1;
};

// "a.b.c.d" and "a.b.c.d:port".
std::string ipText(const in_addr& address);
std::string endpointText(const sockaddr_in& endpoint);

// Strict dotted-decimal IPv4.
std::optional<in_addr> parseIpv4(const std::string& text);
// Decimal 1..65535, or 0..65535 when allowZero (0: the system picks a free port).
std::optional<std::uint16_t> parsePort(const std::string& text, bool allowZero);

// "HOST[:PORT]" split into its parts; nothing when the port is given but is not a port.
struct THostPort {
  std::string host;
  std::uint16_t port = 0;
};
std::optional<THostPort> splitHostPort(const std::string& text, std::uint16_t defaultPort);

// Resolves a dotted address or a host name to an IPv4 endpoint. Throws ENetError.
sockaddr_in resolveIpv4(const std::string& host, std::uint16_t port);

// A TCP connection to `to`, from the local address `from` when given. Gives up after
// `timeout`, or when stopFd (if not -1) becomes readable. Throws ENetError.
TFd connectTcp(const sockaddr_in& to, const std::optional<in_addr>& from,
               std::chrono::milliseconds timeout, int stopFd = -1);

// A listening TCP socket and a bound UDP socket. Port 0 picks a free one. Throws ENetError.
TFd listenTcp(const in_addr& address, std::uint16_t port);
TFd bindUdp(const in_addr& address, std::uint16_t port);

sockaddr_in localEndpoint(int fd);
sockaddr_in peerEndpoint(int fd);

// Sends every byte, waiting while the peer's window is full. False when the connection failed
// or stopFd (if not -1) became readable first.
bool sendAll(int fd, const void* data, std::size_t size, int stopFd = -1);
bool sendAll(int fd, const std::string& data, int stopFd = -1);

// Waits up to `timeout` for the first bytes and returns what one read gives (at most
// `maxBytes`); empty on time-out, on close, on error or when stopFd became readable.
std::string receiveSome(int fd, std::chrono::milliseconds timeout, std::size_t maxBytes,
                        int stopFd = -1);

// Closes our sending side and reads until the peer closes too, or `timeout`: closing with
// unread bytes pending would reset the connection and could discard what we just sent.
void finishConnection(int fd, std::chrono::milliseconds timeout, int stopFd = -1);

// Waits until `until` (time_point::max: for as long as the client stays) while watching the
// client, handing what it sends to `received` (may be empty: the bytes are dropped), which
// returns true to end the wait early. Waits of a minute at most, so that "for ever" fits
// poll's int. False when the client closed, on error or when stopFd became readable.
bool watchClient(int fd, std::chrono::steady_clock::time_point until, int stopFd,
                 const std::function<bool(const std::string&)>& received = {});
