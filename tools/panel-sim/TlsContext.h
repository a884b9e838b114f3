#pragma once

#include <openssl/ssl.h>

#include <memory>

// The server side of HTTPS: a context holding a self-signed certificate made in memory at
// start (a panel's own certificate is never verified by the workstation, so any will do).
// Made once by main() before any client thread runs; shared read-only afterwards.
class TTlsContext {
 public:
  TTlsContext();  // throws std::runtime_error with OpenSSL's reason
  SSL_CTX* get() const { return m_context.get(); }

 private:
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> m_context{nullptr, SSL_CTX_free};
};
