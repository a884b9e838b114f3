#include "tools/panel-sim/DigestGuard.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cctype>
#include <stdexcept>

#include "base/Text.h"

namespace {

// Enough for every request in flight on a busy demo; an older nonce is answered by a new
// challenge, as a server's expired nonce would be.
constexpr std::size_t NoncesKept = 1024;
constexpr const char* Realm = "panel-sim";

std::string hexText(const unsigned char* bytes, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

std::string randomHex(std::size_t bytes) {
  unsigned char buffer[32];
  if (bytes > sizeof buffer || RAND_bytes(buffer, static_cast<int>(bytes)) != 1)
    throw std::runtime_error("no random bytes for a nonce");
  return hexText(buffer, bytes);
}

// The hash named by a Digest algorithm ("MD5", "SHA-256", with or without "-sess"); null for
// one we cannot check.
const EVP_MD* hashOf(const std::string& algorithm, bool& session) {
  std::string name = lowerAscii(algorithm);
  session = false;
  if (name.size() > 5 && name.compare(name.size() - 5, 5, "-sess") == 0) {
    session = true;
    name.resize(name.size() - 5);
  }
  if (name.empty() || name == "md5") return EVP_md5();
  if (name == "sha-256") return EVP_sha256();
  return nullptr;
}

std::string hashHex(const EVP_MD* md, const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), digest, &size, md, nullptr);
  return hexText(digest, size);
}

bool isTokenChar(char c) {
  return c > ' ' && c < 127 && std::string_view("\"(),/:;<=>?@[\\]{}").find(c) == std::string::npos;
}

}  // namespace

std::optional<std::map<std::string, std::string>> parseAuthParams(const std::string& text) {
  std::map<std::string, std::string> params;
  std::size_t i = 0;
  auto skipBlanks = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  };
  for (;;) {
    skipBlanks();
    while (i < text.size() && text[i] == ',') {
      ++i;
      skipBlanks();
    }
    if (i >= text.size()) return params;
    std::size_t start = i;
    while (i < text.size() && isTokenChar(text[i]) && text[i] != '=') ++i;
    std::string name = lowerAscii(text.substr(start, i - start));
    skipBlanks();
    if (name.empty() || i >= text.size() || text[i] != '=') return std::nullopt;
    ++i;
    skipBlanks();
    std::string value;
    if (i < text.size() && text[i] == '"') {
      for (++i;; ++i) {
        if (i >= text.size()) return std::nullopt;  // no closing quote
        if (text[i] == '"') break;
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        value += text[i];
      }
      ++i;
    } else {
      start = i;
      while (i < text.size() && isTokenChar(text[i])) ++i;
      value = text.substr(start, i - start);
    }
    // A repeated parameter makes the answer ambiguous; a server refuses it.
    if (!params.emplace(name, value).second) return std::nullopt;
    skipBlanks();
    if (i < text.size() && text[i] != ',') return std::nullopt;
  }
}

TDigestGuard::TDigestGuard(std::string login, std::string password, std::string algorithm,
                           bool withOpaque)
    : m_login(std::move(login)),
      m_password(std::move(password)),
      m_algorithm(std::move(algorithm)),
      m_opaque(withOpaque ? randomHex(16) : "") {}

std::string TDigestGuard::challenge() {
  const std::string nonce = randomHex(16);
  {
    std::lock_guard lock(m_mutex);
    m_nonces.push_back(nonce);
    if (m_nonces.size() > NoncesKept) m_nonces.pop_front();
  }
  std::string value =
      std::string("Digest realm=\"") + Realm + "\", qop=\"auth\", nonce=\"" + nonce + "\"";
  if (!m_opaque.empty()) value += ", opaque=\"" + m_opaque + "\"";
  if (!m_algorithm.empty()) value += ", algorithm=" + m_algorithm;
  return value;
}

bool TDigestGuard::knownNonce(const std::string& nonce) {
  std::lock_guard lock(m_mutex);
  for (const auto& n : m_nonces)
    if (n == nonce) return true;
  return false;
}

std::string TDigestGuard::refusal(const std::string& authorization, const std::string& method,
                                  const std::string& target) {
  if (authorization.empty()) return "no credentials";
  const auto space = authorization.find(' ');
  if (lowerAscii(authorization.substr(0, space)) != "digest")
    return "credentials of another scheme than Digest";
  if (space == std::string::npos) return "Digest without parameters";
  const auto params = parseAuthParams(authorization.substr(space + 1));
  if (!params) return "unreadable Digest parameters";
  const auto& p = *params;
  for (const char* required :
       {"username", "realm", "nonce", "uri", "response", "qop", "nc", "cnonce"})
    if (!p.count(required)) return std::string("no ") + required + " parameter";
  const std::string& username = p.at("username");
  const std::string& nonce = p.at("nonce");
  const std::string& uri = p.at("uri");
  const std::string& qop = p.at("qop");
  const std::string& nc = p.at("nc");
  const std::string& cnonce = p.at("cnonce");
  if (username != m_login) return "unknown user \"" + username + "\"";
  if (p.at("realm") != Realm) return "wrong realm \"" + p.at("realm") + "\"";
  if (!knownNonce(nonce)) return "a nonce we did not hand out";
  // The digest covers the URI, so one taken from another request proves nothing about this one.
  if (uri != target) return "uri \"" + uri + "\" is not the request's " + target;
  if (qop != "auth") return "qop \"" + qop + "\" where auth was offered";
  if (nc.size() != 8 || nc.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return "nc \"" + nc + "\" is not 8 hexadecimal digits";
  auto opaque = p.find("opaque");
  if (!m_opaque.empty() && (opaque == p.end() || opaque->second != m_opaque)) return "wrong opaque";
  // An answer may leave the algorithm out (it then means MD5), but not name another one.
  auto algorithm = p.find("algorithm");
  if (algorithm != p.end() && lowerAscii(algorithm->second) != lowerAscii(m_algorithm))
    return "algorithm " + algorithm->second + " where " +
           (m_algorithm.empty() ? std::string("none") : m_algorithm) + " was announced";
  bool session = false;
  const EVP_MD* md = hashOf(m_algorithm, session);
  if (!md) return "algorithm " + m_algorithm + " cannot be checked";

  std::string ha1 = hashHex(md, m_login + ":" + Realm + ":" + m_password);
  if (session) ha1 = hashHex(md, ha1 + ":" + nonce + ":" + cnonce);
  const std::string ha2 = hashHex(md, method + ":" + target);
  const std::string expected =
      hashHex(md, ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":" + qop + ":" + ha2);
  if (lowerAscii(p.at("response")) != expected) return "wrong response digest";
  return {};
}
