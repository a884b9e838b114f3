// Arbitrary WWW-Authenticate lines through the challenge reader and the header builder: no
// crash, every value within its bound, and no header that could carry a forged line.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "api/DigestAuth.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\n') {
      lines.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  TAuthChallenges c = readChallenges(lines);
  for (const std::string* v :
       {&c.digest.realm, &c.digest.nonce, &c.digest.qop, &c.digest.opaque, &c.digest.algorithm}) {
    if (v->size() > TDigestChallenge::MaxValueBytes) std::abort();
    if (v->find_first_of(std::string("\r\n\0", 3)) != std::string::npos) std::abort();
  }
  std::string header =
      buildDigestHeader(c.digest, "admin", "pass", "GET", "/api/remote/?pl=x", "0a4f113b");
  if (header.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) std::abort();
  return 0;
}
