#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

// The API's Digest check (RFC 2617, qop=auth), judged the way a web server does: the answer
// must name our realm and a nonce we handed out, repeat the request's own URI, and carry the
// response digest of the login and password; anything else is answered by a new challenge.
// Shared by every client thread of the API port.
class TDigestGuard {
 public:
  // `algorithm` is announced as given ("" leaves the parameter out, which means MD5).
  TDigestGuard(std::string login, std::string password, std::string algorithm, bool withOpaque);

  // The value of a WWW-Authenticate header with a fresh nonce. Any thread.
  std::string challenge();

  // Empty when `authorization` is a right answer for this request; otherwise why not, for
  // the log. Any thread.
  std::string refusal(const std::string& authorization, const std::string& method,
                      const std::string& target);

 private:
  bool knownNonce(const std::string& nonce);

  std::string m_login;
  std::string m_password;
  std::string m_algorithm;
  std::string m_opaque;  // empty when none is sent
  std::mutex m_mutex;
  std::deque<std::string> m_nonces;  // the latest ones handed out, oldest first
};

// The auth-params of a credentials or challenge value after its scheme word: name=token or
// name="quoted string" (backslash escapes undone), separated by commas. Names are lower-cased.
// Nothing when the text does not follow that grammar.
std::optional<std::map<std::string, std::string>> parseAuthParams(const std::string& text);
