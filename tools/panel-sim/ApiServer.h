#pragma once

#include <netinet/in.h>

#include <memory>
#include <string>

#include "tools/panel-sim/CommandLine.h"
#include "tools/panel-sim/DigestGuard.h"
#include "tools/panel-sim/Net.h"
#include "tools/panel-sim/RequestLog.h"
#include "tools/panel-sim/StopSignal.h"
#include "tools/panel-sim/TlsContext.h"
#include "tools/panel-sim/VoiceInbox.h"

// The panel's API port: GET and POST under "/api/" (the door relay "remote", the voice message
// "audio", any other command alike) answered with a short JSON body once the credentials pass,
// HTTP/1.1 with keep-alive, over TLS when asked. Every request received is written whole to
// the request log. Made by main() before the port opens; shared read-only by the client
// threads, which call serve().
class TApiService {
 public:
  // Throws std::runtime_error when the TLS context or the requests file cannot be made.
  TApiService(TApiOptions options, std::string login, std::string password);

  // Serves one client on the calling thread until it closes, goes silent, or the run ends.
  void serve(TFd client, const sockaddr_in& peer, const TStopSignal& stop);

  // "http" or "https", and the authentication, for the start-up line.
  std::string description() const;

 private:
  struct TVerdict {
    int status = 200;
    std::string why;  // for a refusal, in the log
    std::string challenge;
  };
  struct TReceived;
  TVerdict judge(const TReceived& request) const;
  std::string credentialsRefusal(const TReceived& request) const;

  TApiOptions m_options;
  std::string m_login;  // empty: no credentials asked
  std::string m_password;
  std::unique_ptr<TTlsContext> m_tls;
  std::unique_ptr<TDigestGuard> m_digest;
  std::unique_ptr<TRequestLog> m_log;
  std::unique_ptr<TVoiceInbox> m_voice;  // with --voice-dir only
};
