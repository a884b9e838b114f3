#pragma once

#include <openssl/ssl.h>

#include <chrono>
#include <memory>
#include <string>

#include "tools/panel-sim/Net.h"
#include "tools/panel-sim/StopSignal.h"

// One API client connection, plain or TLS, read and written with deadlines and the stop
// signal watched, so that a silent client never holds a thread past the end of the run.
// Lives on its client's thread.
class TApiLink {
 public:
  // With a context, runs the TLS handshake first. Throws std::runtime_error when it fails.
  TApiLink(TFd fd, SSL_CTX* tls, const TStopSignal& stop, std::chrono::milliseconds deadline);
  ~TApiLink();
  TApiLink(const TApiLink&) = delete;
  TApiLink& operator=(const TApiLink&) = delete;

  // Some bytes (at most `maxBytes`); empty when the client closed, the deadline passed, the
  // run ended or the connection failed.
  std::string readSome(std::size_t maxBytes, std::chrono::milliseconds deadline);
  // False when not every byte could be sent.
  bool writeAll(const std::string& bytes);
  // Ends the connection so that the bytes sent last are not lost to a reset.
  void finish();

 private:
  // Waits until OpenSSL's last wish (read or write) can be met; false on deadline or stop.
  bool waitForTls(int result, std::chrono::steady_clock::time_point deadline);

  TFd m_fd;
  const TStopSignal& m_stop;
  std::unique_ptr<SSL, decltype(&SSL_free)> m_ssl{nullptr, SSL_free};
};
