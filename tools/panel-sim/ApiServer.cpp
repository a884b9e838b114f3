#include "tools/panel-sim/ApiServer.h"

#include <sys/stat.h>

#include <cctype>
#include <chrono>
#include <map>
#include <stdexcept>

#include "base/Text.h"
#include "tools/panel-sim/ApiLink.h"
#include "tools/panel-sim/HttpRequest.h"
#include "tools/panel-sim/SimLog.h"

namespace {

using std::chrono::milliseconds;

// A client sends its request at once; between requests on one connection it may pause, as a
// web server's keep-alive time-out allows.
constexpr milliseconds RequestWait{5000};
constexpr milliseconds IdleWait{5000};
constexpr std::size_t MaxHead = 16384;
// A voice message is a few seconds of 8 kHz audio, form-encoded twice: far below this.
constexpr std::size_t MaxBody = 32u << 20;
constexpr std::size_t MaxRequestsPerConnection = 1000;
constexpr const char* Realm = "panel-sim";

std::string reasonPhrase(int status) {
  static const std::map<int, const char*> phrases = {
      {200, "OK"},
      {201, "Created"},
      {202, "Accepted"},
      {204, "No Content"},
      {400, "Bad Request"},
      {401, "Unauthorized"},
      {403, "Forbidden"},
      {404, "Not Found"},
      {405, "Method Not Allowed"},
      {413, "Content Too Large"},
      {500, "Internal Server Error"},
      {501, "Not Implemented"},
      {503, "Service Unavailable"},
  };
  auto it = phrases.find(status);
  return it != phrases.end() ? it->second : "Status";
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// application/x-www-form-urlencoded decoding, as a web server's form reader does it.
std::string formDecode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
               hexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The first value of each field of "a=1&b=2".
std::map<std::string, std::string> formFields(const std::string& text) {
  std::map<std::string, std::string> fields;
  for (const auto& piece : splitFields(text, '&')) {
    auto eq = piece.find('=');
    if (eq == std::string::npos) continue;
    fields.emplace(formDecode(piece.substr(0, eq)), formDecode(piece.substr(eq + 1)));
  }
  return fields;
}

// The command path segment of "/api/COMMAND/..." when it is a plain word, for the answer.
std::string commandOf(const std::string& target) {
  std::string rest = target.substr(5);
  std::string command = rest.substr(0, rest.find_first_of("/?#"));
  for (char c : command)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return "";
  return command;
}

}  // namespace

struct TApiService::TReceived {
  THttpRequest request;
  std::string head;
  std::string body;
};

TApiService::TApiService(TApiOptions options, std::string login, std::string password)
    : m_options(std::move(options)), m_login(std::move(login)), m_password(std::move(password)) {
  if (m_options.tls) m_tls = std::make_unique<TTlsContext>();
  if (m_options.auth == TApiAuth::Digest)
    m_digest =
        std::make_unique<TDigestGuard>(m_login, m_password, m_options.algorithm, m_options.opaque);
  m_log = std::make_unique<TRequestLog>(m_options.requestsFile);
  if (!m_options.voiceDir.empty()) {
    struct stat st {};
    if (::stat(m_options.voiceDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      throw std::runtime_error("--voice-dir " + m_options.voiceDir + " is not a folder");
    m_voice = std::make_unique<TVoiceInbox>(m_options.voiceDir, m_options.play);
  }
}

std::string TApiService::description() const {
  std::string text = m_options.tls ? "https" : "http";
  switch (m_options.auth) {
    case TApiAuth::None:
      text += m_login.empty() ? ", no credentials" : ", credentials in the fields";
      break;
    case TApiAuth::Basic:
      text += ", Basic";
      break;
    case TApiAuth::Digest:
      text += ", Digest";
      break;
  }
  return text + ", answering " + std::to_string(m_options.status);
}

std::string TApiService::credentialsRefusal(const TReceived& r) const {
  const std::string authorization = headerValue(r.request, "Authorization").value_or("");
  switch (m_options.auth) {
    case TApiAuth::Basic:
      return basicCredentialsMatch(authorization, m_login, m_password) ? ""
                                                                       : "wrong Basic credentials";
    case TApiAuth::Digest:
      return m_digest->refusal(authorization, r.request.method, r.request.target);
    case TApiAuth::None: {
      if (m_login.empty()) return "";
      // The workstation puts them in the query of a GET and in the form of a POST.
      const std::string& target = r.request.target;
      const auto query = target.find('?');
      auto fields = r.request.method == "POST"
                        ? formFields(r.body)
                        : formFields(query == std::string::npos ? "" : target.substr(query + 1));
      if (fields["login"] != m_login || fields["password"] != m_password)
        return "wrong login or password fields";
      return "";
    }
  }
  return "";
}

TApiService::TVerdict TApiService::judge(const TReceived& r) const {
  if (!startsWith(r.request.target, "/api/")) return {404, "not under /api/", ""};
  if (std::string why = credentialsRefusal(r); !why.empty()) {
    switch (m_options.auth) {
      case TApiAuth::None:
        return {403, why, ""};
      case TApiAuth::Basic:
        return {401, why, std::string("Basic realm=\"") + Realm + "\""};
      case TApiAuth::Digest:
        return {401, why, m_digest->challenge()};
    }
  }
  if (r.request.method != "GET" && r.request.method != "POST")
    return {405, r.request.method + " is not GET or POST", ""};
  return {m_options.status, "", ""};
}

void TApiService::serve(TFd client, const sockaddr_in& peer, const TStopSignal& stop) {
  const std::string who = endpointText(peer);
  const std::string scheme = m_options.tls ? "https" : "http";
  try {
    TApiLink link(std::move(client), m_tls ? m_tls->get() : nullptr, stop, RequestWait);
    std::string buffer;
    for (std::size_t served = 0; served < MaxRequestsPerConnection && !stop.stopped(); ++served) {
      // The head, up to its empty line.
      std::size_t headEnd;
      std::size_t bodyStart = 0;
      for (;;) {
        if ((headEnd = buffer.find("\r\n\r\n")) != std::string::npos) {
          bodyStart = headEnd + 4;
          break;
        }
        if ((headEnd = buffer.find("\n\n")) != std::string::npos) {
          bodyStart = headEnd + 2;
          break;
        }
        if (buffer.size() > MaxHead) {
          link.writeAll(
              "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
          logLine("api: " + who + " sent a request head beyond " + std::to_string(MaxHead) +
                  " bytes (400)");
          return link.finish();
        }
        std::string chunk = link.readSome(16384, buffer.empty() ? IdleWait : RequestWait);
        if (chunk.empty()) return;  // closed, silent or stopped
        buffer += chunk;
      }
      TReceived r;
      r.head = buffer.substr(0, bodyStart);
      buffer.erase(0, bodyStart);
      auto parsed = parseRequestHead(r.head);
      std::string refuse;  // a status line for a request we cannot even read
      std::size_t length = 0;
      if (!parsed) {
        refuse = "400 Bad Request";
      } else {
        r.request = *parsed;
        const std::string lengthText = headerValue(r.request, "Content-Length").value_or("0");
        if (headerValue(r.request, "Transfer-Encoding")) {
          refuse = "501 Not Implemented";  // the workstation always sends a length
        } else if (lengthText.empty() || lengthText.size() > 12 ||
                   lengthText.find_first_not_of("0123456789") != std::string::npos) {
          refuse = "400 Bad Request";
        } else if ((length = std::stoull(lengthText)) > MaxBody) {
          refuse = "413 Content Too Large";
        }
      }
      const unsigned long number = m_log->nextNumber();
      const std::string from =
          "api: request " + std::to_string(number) + " from " + who + " over " + scheme;
      if (!refuse.empty()) {
        m_log->write(number, from + ", 0 body bytes: answered " + refuse.substr(0, 3), r.head, "");
        link.writeAll("HTTP/1.1 " + refuse + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        return link.finish();
      }
      // A client that waits for our go-ahead before its body is told at once when its
      // credentials already fail, and the body is never read.
      const bool expectsGoAhead =
          lowerAscii(headerValue(r.request, "Expect").value_or("")) == "100-continue";
      TVerdict early;
      if (expectsGoAhead && m_options.auth != TApiAuth::None) early = judge(r);
      bool skipBody = expectsGoAhead && early.status == 401;
      if (expectsGoAhead && !skipBody && !link.writeAll("HTTP/1.1 100 Continue\r\n\r\n")) return;
      if (!skipBody) {
        while (buffer.size() < length) {
          std::string chunk =
              link.readSome(std::min<std::size_t>(65536, length - buffer.size()), RequestWait);
          if (chunk.empty()) {
            m_log->write(number,
                         from + ", " + std::to_string(buffer.size()) + " of " +
                             std::to_string(length) + " body bytes: the client went away",
                         r.head, buffer);
            return;
          }
          buffer += chunk;
        }
        r.body = buffer.substr(0, length);
        buffer.erase(0, length);
      }
      TVerdict verdict = skipBody ? early : judge(r);
      if (m_voice && verdict.status >= 200 && verdict.status < 300 && r.request.method == "POST" &&
          commandOf(r.request.target) == "audio") {
        const TReceivedVoiceMessage message = m_voice->receive(r.body, number);
        if (!message.ok) verdict = {400, message.why, ""};
      }

      std::string summary = from + ", " + std::to_string(r.body.size()) + " body bytes: answered " +
                            std::to_string(verdict.status);
      if (!verdict.why.empty()) summary += " (" + verdict.why + ")";
      m_log->write(number, summary, r.head, r.body);
      if (m_log->toFile())
        logLine("api: " + who + " " + r.request.method + " " + r.request.target + " answered " +
                std::to_string(verdict.status));

      const bool ok = verdict.status >= 200 && verdict.status < 300;
      std::string body =
          ok ? "{\"result\":\"ok\",\"command\":\"" + commandOf(r.request.target) + "\"}"
             : "{\"result\":\"error\",\"status\":" + std::to_string(verdict.status) + "}";
      if (verdict.status == 204) body.clear();
      const std::string connection = lowerAscii(headerValue(r.request, "Connection").value_or(""));
      const bool keepAlive = !skipBody && r.request.version == "HTTP/1.1" && connection != "close";
      std::string response = "HTTP/1.1 " + std::to_string(verdict.status) + " " +
                             reasonPhrase(verdict.status) + "\r\n";
      if (!verdict.challenge.empty()) response += "WWW-Authenticate: " + verdict.challenge + "\r\n";
      if (verdict.status == 405) response += "Allow: GET, POST\r\n";
      if (verdict.status != 204)
        response +=
            "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\n";
      response += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
      if (!link.writeAll(response + body)) return;
      if (!keepAlive) return link.finish();
    }
    link.finish();
  } catch (const std::exception& e) {
    logLine("api: " + who + ": " + e.what());
  }
}
