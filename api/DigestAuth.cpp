#include "api/DigestAuth.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "base/Text.h"

namespace {

bool isTokenChar(char c) {
  auto b = static_cast<unsigned char>(c);
  if (b <= 32 || b >= 127) return false;
  return std::string_view("()<>@,;:\\\"/[]?={}").find(c) == std::string_view::npos;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Appends a peer byte to a value, dropping the bytes that must never reach a header and
// stopping at the bound.
void appendValueByte(std::string& value, char c) {
  if (c == '\r' || c == '\n' || c == '\0') return;
  if (value.size() < TDigestChallenge::MaxValueBytes) value += c;
}

struct TChallenge {
  std::string scheme;
  std::vector<std::pair<std::string, std::string>> params;
};

// One header value: challenges separated by commas, each a scheme followed by auth-params
// (or a token68, which is skipped).
void parseHeaderValue(const std::string& text, std::vector<TChallenge>& out) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    while (i < n && (isSpace(text[i]) || text[i] == ',')) ++i;
    if (i >= n) break;
    std::size_t start = i;
    while (i < n && isTokenChar(text[i])) ++i;
    if (i == start) {
      ++i;  // a byte that starts nothing
      continue;
    }
    std::string token = text.substr(start, i - start);
    std::size_t j = i;
    while (j < n && (text[j] == ' ' || text[j] == '\t')) ++j;
    bool isParam = j < n && text[j] == '=' && !out.empty();
    if (isParam && !(j + 1 < n && text[j + 1] == '=')) {
      i = j + 1;
      while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
      std::string value;
      if (i < n && text[i] == '"') {
        ++i;
        while (i < n && text[i] != '"') {
          if (text[i] == '\\' && i + 1 < n) ++i;
          appendValueByte(value, text[i]);
          ++i;
        }
        if (i < n) ++i;  // closing quote
      } else {
        while (i < n && text[i] != ',' && !isSpace(text[i])) appendValueByte(value, text[i++]);
      }
      out.back().params.emplace_back(lowerAscii(token), std::move(value));
    } else if (j < n && text[j] == '=') {
      // A token68 (Base64 with its padding): belongs to the challenge before it.
      i = j;
      while (i < n && text[i] == '=') ++i;
    } else {
      out.push_back({lowerAscii(token), {}});
    }
  }
}

std::string hexOf(const unsigned char* bytes, std::size_t size) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (std::size_t k = 0; k < size; ++k) {
    out += digits[bytes[k] >> 4];
    out += digits[bytes[k] & 0x0f];
  }
  return out;
}

std::string quoted(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace

TAuthChallenges readChallenges(const std::vector<std::string>& headerValues) {
  std::vector<TChallenge> challenges;
  for (const std::string& value : headerValues) parseHeaderValue(value, challenges);

  TAuthChallenges result;
  bool digestRead = false;
  for (const TChallenge& c : challenges) {
    bool basic = c.scheme == "basic";
    bool digest = c.scheme == "digest";
    if (result.chosen == EAuthScheme::None && (basic || digest)) {
      result.chosen = basic ? EAuthScheme::Basic : EAuthScheme::Digest;
    }
    if (!digest || digestRead) continue;
    digestRead = true;
    auto take = [&](const char* name, std::string& field) {
      for (const auto& [key, val] : c.params) {
        if (key == name) {
          field = val;
          return true;
        }
      }
      return false;
    };
    take("realm", result.digest.realm);
    take("nonce", result.digest.nonce);
    take("qop", result.digest.qop);
    result.digest.hasOpaque = take("opaque", result.digest.opaque);
    take("algorithm", result.digest.algorithm);
  }
  return result;
}

bool digestAlgorithmSupported(const std::string& algorithm) {
  return lowerAscii(algorithm) == "md5";
}

const char* schemeTypeName(EAuthScheme scheme) {
  switch (scheme) {
    case EAuthScheme::Basic:
      return "TIdBasicAuthentication";
    case EAuthScheme::Digest:
      return "TIdDigestAuthentication";
    case EAuthScheme::None:
      break;
  }
  return "";
}

std::string md5Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr);
  return hexOf(digest, size);
}

std::string makeCnonce() {
  std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  char when[32];
  std::strftime(when, sizeof when, "%d/%m/%Y %H:%M:%S", &local);
  unsigned char random[16] = {};
  if (RAND_bytes(random, sizeof random) != 1) {
    // No entropy: the steady clock's ticks still keep two answers apart.
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    for (std::size_t k = 0; k < sizeof random; ++k) {
      random[k] = static_cast<unsigned char>(ticks >> ((k % 8) * 8));
    }
  }
  return md5Hex(std::string(when) + hexOf(random, sizeof random));
}

std::string buildDigestHeader(const TDigestChallenge& challenge, const std::string& username,
                              const std::string& password, const std::string& method,
                              const std::string& uri, const std::string& cnonce) {
  const std::string nc = "00000001";
  std::string ha1 = md5Hex(username + ":" + challenge.realm + ":" + password);
  std::string ha2 = md5Hex(method + ":" + uri);
  std::string response = md5Hex(ha1 + ":" + challenge.nonce + ":" + nc + ":" + cnonce + ":" +
                                challenge.qop + ":" + ha2);
  return "Digest username=" + quoted(username) + ", realm=" + quoted(challenge.realm) +
         ", qop=" + quoted(challenge.qop) + ", nonce=" + quoted(challenge.nonce) +
         ", algorithm=" + challenge.algorithm + ", uri=" + quoted(uri) + ", nc=" + nc +
         ", cnonce=" + quoted(cnonce) + ", response=" + quoted(response) +
         (challenge.hasOpaque ? ", opaque=" + quoted(challenge.opaque) : std::string());
}

std::string buildBasicHeader(const std::string& username, const std::string& password) {
  std::string plain = username + ":" + password;
  std::string out(4 * ((plain.size() + 2) / 3) + 1, '\0');
  int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(plain.data()),
                                static_cast<int>(plain.size()));
  out.resize(static_cast<std::size_t>(written));
  return "Basic " + out;
}
