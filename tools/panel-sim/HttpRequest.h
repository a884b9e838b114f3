#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// The little of HTTP the video port needs: the request head of one GET.

struct THttpRequest {
  std::string method;
  std::string target;
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;  // name as sent, value trimmed
};

// The lines of a request head up to its empty line, without their CR.
std::vector<std::string> headLines(const std::string& head);

// Parses the head (request line and header lines, LF or CR LF endings, up to the empty line).
// Nothing when the request line is not "METHOD TARGET VERSION" or a header line lacks ":".
std::optional<THttpRequest> parseRequestHead(const std::string& head);

// The value of the first header of that name, compared without regard to letter case.
std::optional<std::string> headerValue(const THttpRequest& request, const std::string& name);

// True when an Authorization value carries Basic credentials equal to login ":" password.
bool basicCredentialsMatch(const std::string& authorization, const std::string& login,
                           const std::string& password);
