#pragma once

#include <string>

#include "core/AppSettings.h"

// One API command to one panel, with its own copy of the API settings: taken when the command
// is asked for, so that an Apply while it waits in the queue changes nothing under the worker.
struct TApiSettings {
  bool ssl = false;      // only when TLS is available
  std::string authType;  // "None", "Basic", "Digest"; anything else sends no credentials
  std::string method;    // "GET", "POST"; anything else sends nothing
  std::string username;
  std::string password;  // in clear

  // Copies the API fields; APISSL counts only when TLS is available.
  static TApiSettings from(const TAppSettings& settings, bool tlsAvailable);
};

struct TApiRequest {
  std::string address;  // the panel's host, without port
  std::string command;  // path segment under /api: "remote", "audio"
  std::string payload;  // the command's argument text (a JSON object)
  TApiSettings settings;
};

// What came of a request, handed back to the caller.
struct TApiResult {
  bool ok = false;         // a final 2xx answer
  bool sent = false;       // false when nothing went out (refused credentials, unknown method)
  long status = 0;         // the final HTTP status, 0 when no answer came
  std::string statusLine;  // e.g. "HTTP/1.1 500 Internal Server Error", without CR LF
  std::string response;    // the body on success (at most MaxResponseBytes), "" on failure
  std::string error;       // why it failed: the status line or the transport error's text
  bool aborted = false;    // shutdown ended it before it finished

  static constexpr std::size_t MaxResponseBytes = 1024 * 1024;
};
