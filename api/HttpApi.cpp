#include "api/HttpApi.h"

#include <curl/curl.h>

#include <memory>
#include <vector>

#include "api/DigestAuth.h"
#include "api/FormEncoding.h"
#include "base/LogSink.h"
#include "base/Text.h"

namespace {

constexpr long kTimeoutMs = 5000;
constexpr long kMaxRedirects = 15;
constexpr int kMaxAuthRounds = 3;
constexpr const char* kUserAgent = "HalvexHttpClient/2.0";
constexpr const char* kAccept = "Accept: text/html, */*";

struct TSlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using TSlist = std::unique_ptr<curl_slist, TSlistDeleter>;

void appendHeader(TSlist& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (grown != nullptr) {
    list.release();
    list.reset(grown);
  }
}

// One HTTP exchange's answer, as libcurl reported it.
struct TResponse {
  CURLcode code = CURLE_OK;
  bool aborted = false;
  long status = 0;
  std::string statusLine;
  std::vector<std::string> authenticate;  // WWW-Authenticate values of the final response
  std::string body;
  bool truncated = false;
  std::string errorText;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* r = static_cast<TResponse*>(user);
  std::size_t n = size * count;
  std::size_t room = TApiResult::MaxResponseBytes - r->body.size();
  if (n > room) {
    r->body.append(data, room);
    r->truncated = true;
    return 0;  // the rest is not wanted: stop reading
  }
  r->body.append(data, n);
  return n;
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* r = static_cast<TResponse*>(user);
  std::size_t n = size * count;
  std::string line(data, n);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (startsWith(line, "HTTP/")) {
    // A new response (after a redirect or an interim answer): only the last one counts.
    r->statusLine = line;
    r->authenticate.clear();
  } else if (lowerAscii(line.substr(0, 17)) == "www-authenticate:") {
    constexpr std::size_t kMaxCollected = 64 * 1024;
    if (r->authenticate.size() < 64 && line.size() < kMaxCollected) {
      r->authenticate.push_back(trimText(line.substr(17)));
    }
  }
  return n;
}

int onConnected(void* user, char* ip, char*, int port, int) {
  if (*static_cast<bool*>(user)) {
    debugLog("HTTP Status: Connected to " + std::string(ip) + ":" + std::to_string(port) + ".");
  }
  return CURL_PREREQFUNC_OK;
}

// The request line's target of a URL: path and query, as libcurl writes it.
std::string requestTarget(const std::string& url) {
  std::string target = "/";
  CURLU* u = curl_url();
  if (u == nullptr) return target;
  if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
    char* path = nullptr;
    char* query = nullptr;
    if (curl_url_get(u, CURLUPART_PATH, &path, 0) == CURLUE_OK) target = path;
    if (curl_url_get(u, CURLUPART_QUERY, &query, 0) == CURLUE_OK)
      target += "?" + std::string(query);
    curl_free(path);
    curl_free(query);
  }
  curl_url_cleanup(u);
  return target;
}

}  // namespace

// One call of httpAPI: its easy handle, URL and body, reused by its two attempts.
class TApiExchange {
 public:
  TApiExchange(THttpApi& owner, const TApiRequest& request) : m_owner(owner), m_req(request) {}
  ~TApiExchange() {
    if (m_easy != nullptr) curl_easy_cleanup(m_easy);
  }

  TApiResult run();

 private:
  bool digestMode() const { return m_req.settings.authType == "Digest"; }
  void configure();
  TResponse perform(const std::string* authorization);
  TResponse attempt();

  THttpApi& m_owner;
  const TApiRequest& m_req;
  CURL* m_easy = nullptr;
  std::string m_url;
  bool m_post = false;
  std::string m_body;
  bool m_logStatus = false;
  char m_errorBuffer[CURL_ERROR_SIZE] = {};
};

TApiResult TApiExchange::run() {
  TApiResult result;
  const TApiSettings& s = m_req.settings;
  bool get = s.method == "GET";
  m_post = s.method == "POST";
  bool none = s.authType == "None";
  if ((get || m_post) && (hasLineBreakOrNul(s.username) || hasLineBreakOrNul(s.password))) {
    debugLog("API request refused: the login or password holds a line break or a NUL character");
    debugLog(result.response);
    return result;
  }
  std::string base = (s.ssl ? "https://" : "http://") + m_req.address + "/api";
  if (get) {
    m_url = base + "/" + m_req.command + "/?pl=" + formEncode(m_req.payload);
    if (none) {
      m_url += "&login=" + urlVerbatim(s.username) + "&password=" + urlVerbatim(s.password);
    }
  } else if (m_post) {
    m_url = base + "/" + m_req.command + "/";
    std::vector<std::string> fields{"pl=" + formEncode(m_req.payload)};
    debugLog("LENGTH:" + std::to_string(m_req.payload.size() + 3));
    if (none) {
      fields.push_back("login=" + s.username);
      fields.push_back("password=" + s.password);
    }
    std::string joined;
    for (const std::string& f : fields) {
      if (!joined.empty()) joined += '&';
      joined += fieldEncode(f);
    }
    m_body = trimText(joined);
  } else {
    debugLog(result.response);
    return result;
  }

  m_easy = curl_easy_init();
  if (m_easy == nullptr) {
    result.error = "out of memory";
    debugLog(result.error);
    debugLog(result.response);
    return result;
  }
  configure();
  result.sent = true;

  TResponse last;
  bool ok = false;
  for (int n = 0; n < 2 && !ok; ++n) {
    last = attempt();
    if (last.aborted) break;
    ok = last.errorText.empty() && last.status >= 200 && last.status < 300;
  }
  result.status = last.status;
  result.statusLine = last.statusLine;
  result.aborted = last.aborted;
  if (ok) {
    result.ok = true;
    result.response = last.body;
  } else if (!last.aborted) {
    bool httpError = last.errorText.empty();
    result.error = httpError ? last.statusLine : last.errorText;
    if (httpError && get) {
      debugLog("HTTP error " + std::to_string(last.status) + " " + last.statusLine + " " +
               last.body);
    } else {
      debugLog(result.error);
    }
  }
  debugLog(result.response);
  return result;
}

void TApiExchange::configure() {
  curl_easy_setopt(m_easy, CURLOPT_URL, m_url.c_str());
  curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(m_easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(m_easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(m_easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(m_easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS, kTimeoutMs);
  // No byte for 5 s while waiting or reading ends the attempt, as a read time-out would.
  curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_TIME, kTimeoutMs / 1000);
  curl_easy_setopt(m_easy, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
  // Panels present their own self-signed certificates.
  curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, onHeader);
  m_logStatus = digestMode();
  curl_easy_setopt(m_easy, CURLOPT_PREREQFUNCTION, onConnected);
  curl_easy_setopt(m_easy, CURLOPT_PREREQDATA, &m_logStatus);
  if (m_post) {
    curl_easy_setopt(m_easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(m_body.size()));
    curl_easy_setopt(m_easy, CURLOPT_COPYPOSTFIELDS, m_body.c_str());
  } else {
    curl_easy_setopt(m_easy, CURLOPT_HTTPGET, 1L);
  }
}

TResponse TApiExchange::perform(const std::string* authorization) {
  TResponse r;
  TSlist headers;
  appendHeader(headers, kAccept);
  if (digestMode()) {
    appendHeader(headers, m_post ? "Content-Type: application/x-www-form-urlencoded"
                                 : "Content-Type: text/html, */*");
    appendHeader(headers, "Connection: keep-alive");
    appendHeader(headers, "Content-Encoding: utf-8");
  }
  if (m_post) appendHeader(headers, "Expect:");  // no 100-continue round trip
  if (authorization != nullptr) appendHeader(headers, "Authorization: " + *authorization);
  curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, &r);
  curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, &r);
  m_errorBuffer[0] = '\0';

  if (m_logStatus) debugLog("HTTP Status: Resolving hostname " + m_req.address + ".");
  CURLM* multi = m_owner.m_multi;
  curl_multi_add_handle(multi, m_easy);
  for (;;) {
    if (m_owner.m_aborted.load()) {
      r.aborted = true;
      break;
    }
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK || running == 0) break;
    curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
  }
  int pending = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi, &pending)) {
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_easy) r.code = msg->data.result;
  }
  curl_multi_remove_handle(multi, m_easy);
  if (m_logStatus) debugLog("HTTP Status: Disconnected.");
  curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, nullptr);

  curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &r.status);
  if (r.code == CURLE_WRITE_ERROR && r.truncated) r.code = CURLE_OK;
  if (r.aborted) {
    r.errorText = "aborted";
  } else if (r.code != CURLE_OK) {
    r.errorText = m_errorBuffer[0] != '\0' ? std::string(m_errorBuffer)
                                           : std::string(curl_easy_strerror(r.code));
  }
  return r;
}

TResponse TApiExchange::attempt() {
  curl_easy_setopt(m_easy, CURLOPT_URL, m_url.c_str());
  std::string authorization;
  if (m_req.settings.authType == "Basic") {
    authorization = buildBasicHeader(m_req.settings.username, m_req.settings.password);
  }
  TResponse r = perform(authorization.empty() ? nullptr : &authorization);
  if (!digestMode() || !r.errorText.empty() || r.status != 401) return r;

  TAuthChallenges challenges = readChallenges(r.authenticate);
  if (challenges.chosen == EAuthScheme::None) return r;
  debugLog(schemeTypeName(challenges.chosen));
  if (challenges.chosen == EAuthScheme::Digest) {
    if (!digestAlgorithmSupported(challenges.digest.algorithm)) {
      r.errorText = kUnsupportedAlgorithm;
      return r;
    }
    // The answer names the URL that was refused, which a redirect may have changed.
    char* effective = nullptr;
    curl_easy_getinfo(m_easy, CURLINFO_EFFECTIVE_URL, &effective);
    std::string url = effective != nullptr ? std::string(effective) : m_url;
    curl_easy_setopt(m_easy, CURLOPT_URL, url.c_str());
    authorization =
        buildDigestHeader(challenges.digest, m_req.settings.username, m_req.settings.password,
                          m_post ? "POST" : "GET", requestTarget(url), makeCnonce());
    debugLog("onAuthorization: " + authorization);
  } else {
    authorization = buildBasicHeader(m_req.settings.username, m_req.settings.password);
  }
  for (int round = 0; round < kMaxAuthRounds; ++round) {
    r = perform(&authorization);
    if (!r.errorText.empty() || r.status != 401) break;
  }
  return r;
}

THttpApi::THttpApi() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  m_multi = curl_multi_init();
}

THttpApi::~THttpApi() { curl_multi_cleanup(m_multi); }

TApiResult THttpApi::httpAPI(const TApiRequest& request) {
  if (m_aborted.load()) {
    TApiResult r;
    r.aborted = true;
    return r;
  }
  TApiExchange exchange(*this, request);
  return exchange.run();
}

void THttpApi::abort() {
  m_aborted.store(true);
  curl_multi_wakeup(m_multi);
}
