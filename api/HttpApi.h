#pragma once

#include <atomic>
#include <string>

#include "api/ApiRequest.h"

typedef void CURLM;

// Sends one API command to one panel with libcurl and logs what happened, the way the panels
// expect it on the wire: the payload form-encoded in the GET query or as the POST field "pl",
// None credentials as query parameters or fields, Basic on the first request, Digest in answer
// to a 401 (at most 3 answered rounds), a second attempt after any failure, 2xx as the only
// success. Connect and read time-outs are 5 s each, at most 15 redirects within http and https,
// HTTPS without checking the panel's self-signed certificate.
//
// Thread contract: httpAPI runs on one thread at a time (the API worker's); abort may be called
// from any thread and makes the running and every later call end at once.
class THttpApi {
 public:
  THttpApi();
  ~THttpApi();
  THttpApi(const THttpApi&) = delete;
  THttpApi& operator=(const THttpApi&) = delete;

  // Runs the request to its end on the calling thread: up to two attempts.
  TApiResult httpAPI(const TApiRequest& request);

  void abort();

 private:
  CURLM* m_multi;
  std::atomic<bool> m_aborted{false};

  friend class TApiExchange;
};
