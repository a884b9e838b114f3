#pragma once

#include <string>
#include <vector>

// Answers to a panel's 401: which scheme answers, what the Digest challenge says, and the
// Authorization header values. No I/O; used by the request on the worker thread.

// The scheme that answers a 401: the first challenge, in header order, whose scheme is one we
// know.
enum class EAuthScheme { None, Basic, Digest };

// The Digest challenge's fields; empty when absent. Each value is at most MaxValueBytes, holds
// no CR, LF or NUL, and has its quoted-string escapes removed.
struct TDigestChallenge {
  static constexpr std::size_t MaxValueBytes = 1024;
  std::string realm;
  std::string nonce;
  std::string qop;
  std::string opaque;
  std::string algorithm;   // as the panel sent it
  bool hasOpaque = false;  // the challenge carried an opaque parameter, even an empty one
};

struct TAuthChallenges {
  EAuthScheme chosen = EAuthScheme::None;
  TDigestChallenge digest;  // read from the first Digest challenge, whichever scheme answers
};

// Reads the values of every WWW-Authenticate header of one response, in order (without the
// header name). Auth-params are read as names and values: quoted strings with backslash
// escapes, names matched whole and case-insensitively, so a nonce that happens to contain the
// word "realm" is still a nonce.
TAuthChallenges readChallenges(const std::vector<std::string>& headerValues);

// Only MD5 is answered; a missing algorithm is not MD5.
bool digestAlgorithmSupported(const std::string& algorithm);
inline constexpr const char* kUnsupportedAlgorithm =
    "Unsupported hash algorithm. This implementation supports only MD5 encoding.";

// The type name the log shows for the scheme chosen to answer.
const char* schemeTypeName(EAuthScheme scheme);

// MD5 of the bytes as 32 lower-case hex digits.
std::string md5Hex(const std::string& bytes);

// A fresh client nonce: MD5 of the date and time together with 16 random bytes, so that it
// cannot be predicted from the clock alone.
std::string makeCnonce();

// The Digest answer, fields in the order the panels expect:
// Digest username="U", realm="R", qop="Q", nonce="N", algorithm=A, uri="P", nc=00000001,
//   cnonce="C", response="D", opaque="O"
// with response = MD5(MD5(U:R:password) ":" N ":" 00000001 ":" C ":" Q ":" MD5(method:uri)).
// Quotes and backslashes inside a quoted value are written back as escapes. The opaque field is
// left out when the challenge had none: a real server (Apache) refuses an opaque it never sent.
std::string buildDigestHeader(const TDigestChallenge& challenge, const std::string& username,
                              const std::string& password, const std::string& method,
                              const std::string& uri, const std::string& cnonce);

// "Basic " + Base64(username ":" password).
std::string buildBasicHeader(const std::string& username, const std::string& password);
