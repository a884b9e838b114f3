#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A small HTTP/1.1 server on loopback for the API tests: it records every request it received
// (request line, headers, body, as sent) and answers each with what the test's responder says.
class THttpPeer {
 public:
  struct TRequest {
    std::string method;
    std::string target;  // as written in the request line
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // The value of the first header of that name (case-insensitive), "" when absent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
  };
  // The whole raw answer to the request numbered index (from 0); "" closes without answering.
  using TResponder = std::function<std::string(const TRequest& request, int index)>;

  explicit THttpPeer(TResponder responder);
  ~THttpPeer();

  int port() const { return m_port; }
  std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
  std::vector<TRequest> requests() const;
  std::size_t requestCount() const;

  // A complete answer with Content-Length.
  static std::string reply(int status, const std::string& reason, const std::string& body,
                           const std::string& extraHeaders = "");

 private:
  void acceptLoop();
  void serve(int fd);

  TResponder m_responder;
  int m_listenFd = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::vector<TRequest> m_requests;
  std::vector<std::thread> m_connections;
  std::thread m_acceptor;
};

// A loopback port that accepts connections (through the kernel's backlog) and never answers.
class TSilentPeer {
 public:
  TSilentPeer();
  ~TSilentPeer();
  std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

 private:
  int m_fd = -1;
  int m_port = 0;
};

// A loopback port where nothing listens.
std::string closedLoopbackAddress();
