#include "tools/panel-sim/HttpRequest.h"

#include <openssl/evp.h>

#include "base/Text.h"

namespace {

std::string base64(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(bytes.data()),
                          static_cast<int>(bytes.size()));
  out.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
  return out;
}

}  // namespace

std::vector<std::string> headLines(const std::string& head) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < head.size()) {
    std::size_t end = head.find('\n', start);
    if (end == std::string::npos) end = head.size();
    std::string line = head.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) break;
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::optional<THttpRequest> parseRequestHead(const std::string& head) {
  std::vector<std::string> lines = headLines(head);
  if (lines.empty()) return std::nullopt;
  THttpRequest request;
  const std::string& first = lines[0];
  auto sp1 = first.find(' ');
  auto sp2 = sp1 == std::string::npos ? std::string::npos : first.find(' ', sp1 + 1);
  if (sp2 == std::string::npos || first.find(' ', sp2 + 1) != std::string::npos) return {};
  request.method = first.substr(0, sp1);
  request.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
  request.version = first.substr(sp2 + 1);
  if (request.method.empty() || request.target.empty() || !startsWith(request.version, "HTTP/"))
    return std::nullopt;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    auto colon = lines[i].find(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    request.headers.emplace_back(lines[i].substr(0, colon), trimText(lines[i].substr(colon + 1)));
  }
  return request;
}

std::optional<std::string> headerValue(const THttpRequest& request, const std::string& name) {
  for (const auto& [n, v] : request.headers)
    if (lowerAscii(n) == lowerAscii(name)) return v;
  return std::nullopt;
}

bool basicCredentialsMatch(const std::string& authorization, const std::string& login,
                           const std::string& password) {
  auto space = authorization.find(' ');
  if (space == std::string::npos) return false;
  if (lowerAscii(authorization.substr(0, space)) != "basic") return false;
  return trimText(authorization.substr(space + 1)) == base64(login + ":" + password);
}
