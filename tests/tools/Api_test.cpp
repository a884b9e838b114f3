#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "base/Text.h"
#include "tests/tools/PanelSimSupport.h"

namespace {

// What the workstation's relay sends for the strike code 1234, form-encoded.
constexpr const char* RelayTarget = "/api/remote/?pl=%7b%22code%22%3a%221234%22%7d";

std::string md5Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr);
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", digest[i]);
    hex += two;
  }
  return hex;
}

std::string shellQuoted(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs the curl command-line tool (a client nobody here wrote) and returns the final status
// code it saw, "000" when it got no answer.
std::string curlStatus(const std::vector<std::string>& args) {
  std::string command = "curl -s -o /dev/null -w '%{http_code}' --noproxy '*' --max-time 20";
  for (const auto& a : args) command += " " + shellQuoted(a);
  std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return "popen failed";
  std::string out;
  char buffer[256];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) out.append(buffer, n);
  return out;
}

struct TResponse {
  std::string statusLine;
  std::map<std::string, std::string> headers;  // lower-case names
  std::string body;
};

// One response on a kept-alive connection: head, then Content-Length bytes.
TResponse readResponse(TConnection& c) {
  TResponse r;
  r.statusLine = c.readLine().value_or("<closed>");
  while (auto line = c.readLine()) {
    if (line->empty()) break;
    auto colon = line->find(':');
    r.headers[lowerAscii(line->substr(0, colon))] = trimText(line->substr(colon + 1));
  }
  r.body = c.readExactly(std::stoul(r.headers.count("content-length") ? r.headers["content-length"]
                                                                      : std::string("0")));
  return r;
}

// The value of `name` in a challenge, quoted or not.
std::string challengeParam(const std::string& challenge, const std::string& name) {
  auto at = challenge.find(name + "=");
  if (at == std::string::npos) return "";
  at += name.size() + 1;
  if (challenge[at] == '"') return challenge.substr(at + 1, challenge.find('"', at + 1) - at - 1);
  return challenge.substr(at, challenge.find_first_of(", ", at) - at);
}

// A panel-sim serving the API only, on loopback.
class ApiTest : public ::testing::Test {
 protected:
  void serve(std::vector<std::string> extra) {
    std::vector<std::string> args{"serve", "--api", "0", "--bind", "127.0.0.1", "--no-discovery"};
    args.insert(args.end(), extra.begin(), extra.end());
    m_sim = std::make_unique<TPanelSim>(args);
    m_port = listeningPort(*m_sim, "api");
  }
  std::string url(const std::string& scheme, const std::string& target) const {
    return scheme + "://127.0.0.1:" + std::to_string(m_port) + target;
  }
  TPanelSim& sim() { return *m_sim; }
  std::uint16_t m_port = 0;

 private:
  std::unique_ptr<TPanelSim> m_sim;
};

struct TCurlCase {
  const char* guards;
  std::vector<std::string> serve;
  std::vector<std::string> curl;  // the URL is added: scheme from --tls, target below
  std::string target;
  std::string status;
};

TEST_F(ApiTest, JudgesRealClientsLikeAWebServer) {
  const std::vector<std::string> digest = {"--auth", "digest", "--login", "u", "--password", "p w"};
  const std::vector<std::string> basic = {"--auth", "basic", "--login", "u", "--password", "p w"};
  const std::vector<std::string> none = {"--login", "u", "--password", "p w"};
  auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const std::string bigBody = "pl=" + std::string(3000, 'a');  // makes curl ask 100-continue
  const std::vector<TCurlCase> cases = {
      {"Digest GET, right password", digest, {"--digest", "-u", "u:p w"}, RelayTarget, "200"},
      {"Digest POST over TLS",
       with(digest, {"--tls"}),
       {"--digest", "-u", "u:p w", "-d", "pl=%257b%2522code%2522%253a%25221234%2522%257d"},
       "/api/remote/",
       "200"},
      {"Digest GET over TLS with an opaque value to echo",
       with(digest, {"--tls", "--opaque"}),
       {"--digest", "-u", "u:p w"},
       RelayTarget,
       "200"},
      {"Digest wrong password is refused",
       digest,
       {"--digest", "-u", "u:nope"},
       RelayTarget,
       "401"},
      {"Digest wrong user is refused", digest, {"--digest", "-u", "v:p w"}, RelayTarget, "401"},
      {"Digest refuses Basic credentials", digest, {"--basic", "-u", "u:p w"}, RelayTarget, "401"},
      {"Digest MD5-sess",
       with(digest, {"--algorithm", "MD5-sess"}),
       {"--digest", "-u", "u:p w"},
       RelayTarget,
       "200"},
      {"Digest SHA-256",
       with(digest, {"--algorithm", "SHA-256"}),
       {"--digest", "-u", "u:p w"},
       RelayTarget,
       "200"},
      {"Digest POST of a body sent after 100-continue",
       digest,
       {"--digest", "-u", "u:p w", "-d", bigBody},
       "/api/audio/",
       "200"},
      {"Basic GET", basic, {"--basic", "-u", "u:p w"}, RelayTarget, "200"},
      {"Basic POST over TLS",
       with(basic, {"--tls"}),
       {"--basic", "-u", "u:p w", "-d", "pl=1"},
       "/api/remote/",
       "200"},
      {"Basic wrong password", basic, {"--basic", "-u", "u:x"}, RelayTarget, "401"},
      {"Basic wrong password with a body held back for 100-continue",
       basic,
       {"--basic", "-u", "u:x", "-d", bigBody},
       "/api/audio/",
       "401"},
      {"None: credentials in the query",
       none,
       {},
       std::string(RelayTarget) + "&login=u&password=p%20w",
       "200"},
      {"None: wrong password in the query",
       none,
       {},
       std::string(RelayTarget) + "&login=u&password=pw",
       "403"},
      {"None: a # cuts the password off the query",
       none,
       {},
       std::string(RelayTarget) + "&login=u&password=p#w",
       "403"},
      {"None: credentials in the POST form, over TLS",
       with(none, {"--tls"}),
       {"-d", "pl=x&login=u&password=p%20w"},
       "/api/remote/",
       "200"},
      {"None without credentials asked", {}, {}, RelayTarget, "200"},
      {"the answer asked for, once the credentials passed",
       with(digest, {"--status", "500"}),
       {"--digest", "-u", "u:p w"},
       RelayTarget,
       "500"},
      {"outside /api/", {}, {}, "/index.html", "404"},
      {"a method other than GET and POST", {}, {"-X", "PUT"}, "/api/remote/", "405"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.guards);
    serve(c.serve);
    const bool tls = std::find(c.serve.begin(), c.serve.end(), "--tls") != c.serve.end();
    std::vector<std::string> args = c.curl;
    if (tls) args.push_back("-k");  // the panel's certificate is its own
    args.push_back(url(tls ? "https" : "http", c.target));
    EXPECT_EQ(curlStatus(args), c.status) << sim().out() << sim().err();
  }
}

TEST_F(ApiTest, HttpsRefusesPlainHttpAndPlainRefusesTls) {
  serve({"--tls"});
  EXPECT_EQ(curlStatus({url("http", RelayTarget)}), "000");
  EXPECT_EQ(curlStatus({"-k", url("https", RelayTarget)}), "200");
  serve({});
  EXPECT_EQ(curlStatus({"-k", url("https", RelayTarget)}), "000");
}

// The workstation writes its Digest answer in a fixed order of its own: qop quoted, the
// algorithm unquoted, nc upper-case hex, opaque last. A server must accept that form and still
// refuse an answer that does not prove the password for this very request.
TEST_F(ApiTest, DigestAnswerInTheWorkstationsFormIsCheckedFieldByField) {
  serve({"--auth", "digest", "--login", "admin", "--password", "1234", "--opaque"});
  struct TAnswer {
    const char* guards;
    std::string uri;       // in the header; the request line always carries RelayTarget
    std::string password;  // the digest is computed with it
    std::string qop;
    std::string nonce;  // empty: the challenge's
    std::string status;
  };
  const std::vector<TAnswer> answers = {
      {"the right answer", RelayTarget, "1234", "auth", "", "200"},
      {"a wrong password", RelayTarget, "4321", "auth", "", "401"},
      {"the answer for another request's uri", "/api/audio/", "1234", "auth", "", "401"},
      {"a qop that was not offered", RelayTarget, "1234", "auth-int", "", "401"},
      {"a nonce we never handed out", RelayTarget, "1234", "auth",
       "00000000000000000000000000000000", "401"},
  };
  for (const auto& a : answers) {
    SCOPED_TRACE(a.guards);
    TConnection c = connectTo("127.0.0.1", m_port);
    c.send(std::string("GET ") + RelayTarget + " HTTP/1.1\r\nHost: panel\r\n\r\n");
    TResponse challenge = readResponse(c);
    ASSERT_EQ(challenge.statusLine, "HTTP/1.1 401 Unauthorized");
    const std::string www = challenge.headers["www-authenticate"];
    ASSERT_TRUE(startsWith(www, "Digest ")) << www;
    EXPECT_EQ(challengeParam(www, "qop"), "auth");
    EXPECT_EQ(challengeParam(www, "algorithm"), "MD5");
    const std::string realm = challengeParam(www, "realm");
    const std::string nonce = a.nonce.empty() ? challengeParam(www, "nonce") : a.nonce;
    const std::string opaque = challengeParam(www, "opaque");
    ASSERT_EQ(nonce.size(), 32u) << www;
    ASSERT_FALSE(opaque.empty()) << www;

    const std::string cnonce = md5Hex("Mon Jan 1 12:00:00 2024");
    const std::string ha1 = md5Hex("admin:" + realm + ":" + a.password);
    const std::string ha2 = md5Hex("GET:" + a.uri);
    const std::string response =
        md5Hex(ha1 + ":" + nonce + ":00000001:" + cnonce + ":" + a.qop + ":" + ha2);
    const std::string header = "Digest username=\"admin\", realm=\"" + realm + "\", qop=\"" +
                               a.qop + "\", nonce=\"" + nonce + "\", algorithm=MD5, uri=\"" +
                               a.uri + "\", nc=00000001, cnonce=\"" + cnonce + "\", response=\"" +
                               response + "\", opaque=\"" + opaque + "\"";
    c.send(std::string("GET ") + RelayTarget +
           " HTTP/1.1\r\nHost: panel\r\nAuthorization: " + header + "\r\n\r\n");
    TResponse answer = readResponse(c);
    EXPECT_EQ(answer.statusLine.substr(9, 3), a.status) << sim().out();
    if (a.status == "200") {
      EXPECT_EQ(answer.headers["content-type"], "application/json");
      EXPECT_EQ(answer.body, "{\"result\":\"ok\",\"command\":\"remote\"}");
    } else {
      // A refused answer gets a fresh challenge, as from a web server.
      EXPECT_NE(challengeParam(answer.headers["www-authenticate"], "nonce"),
                challengeParam(www, "nonce"));
    }
  }
}

TEST_F(ApiTest, ChallengeAnnouncesTheAlgorithmAskedOrNone) {
  for (const std::string algorithm : {"MD5-sess", ""}) {
    SCOPED_TRACE("algorithm \"" + algorithm + "\"");
    serve({"--auth", "digest", "--login", "u", "--password", "p", "--algorithm", algorithm});
    TConnection c = connectTo("127.0.0.1", m_port);
    c.send(std::string("GET ") + RelayTarget + " HTTP/1.1\r\nHost: panel\r\n\r\n");
    const std::string www = readResponse(c).headers["www-authenticate"];
    EXPECT_EQ(challengeParam(www, "algorithm"), algorithm) << www;
    // Without --opaque there is none to echo.
    EXPECT_EQ(www.find("opaque"), std::string::npos) << www;
  }
}

TEST_F(ApiTest, WritesEveryRequestWholeToTheRequestsFile) {
  char path[] = "/tmp/panel-sim-requests.XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  serve({"--requests", path, "--status", "202"});
  TConnection c = connectTo("127.0.0.1", m_port);
  const std::string body = "pl=%257b%2522code%2522%253a%25221234%2522%257d";
  c.send(
      "POST /api/remote/ HTTP/1.1\r\nHost: 10.0.0.5\r\nUser-Agent: HalvexHttpClient/2.0\r\n"
      "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body);
  TResponse first = readResponse(c);
  EXPECT_EQ(first.statusLine, "HTTP/1.1 202 Accepted");
  // A second request on the same connection, LF line ends, no body.
  c.send("GET /api/remote/?pl=x HTTP/1.1\nHost: 10.0.0.5\nConnection: close\n\n");
  TResponse second = readResponse(c);
  EXPECT_EQ(second.headers["connection"], "close");
  EXPECT_TRUE(c.peerClosed() || c.readUntilClosed().empty());
  sim().waitForLine("api: 127.0.0.1:");  // the short line on stdout for each request
  sim().waitForLine("GET /api/remote/?pl=x answered 202");

  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  ::unlink(path);
  const std::string all = text.str();
  const std::string block1 =
      "POST /api/remote/ HTTP/1.1\nHost: 10.0.0.5\nUser-Agent: HalvexHttpClient/2.0\n"
      "Content-Type: application/x-www-form-urlencoded\nContent-Length: " +
      std::to_string(body.size()) + "\n\n" + body + "\napi: end of request 1\n";
  const std::string block2 =
      "GET /api/remote/?pl=x HTTP/1.1\nHost: 10.0.0.5\nConnection: close\n\n\n"
      "api: end of request 2\n";
  EXPECT_NE(all.find(" over http, " + std::to_string(body.size()) + " body bytes: answered 202\n" +
                     block1),
            std::string::npos)
      << all;
  EXPECT_NE(all.find("api: request 2 "), std::string::npos) << all;
  EXPECT_NE(all.find(" over http, 0 body bytes: answered 202\n" + block2), std::string::npos)
      << all;
  EXPECT_EQ(all.find("api: request 1 "), 0u) << all;
  // Nothing of the requests themselves went to stdout.
  EXPECT_EQ(sim().out().find(body), std::string::npos) << sim().out();
}

TEST_F(ApiTest, UnreadableRequestsAreRefusedAndTheConnectionClosed) {
  serve({});
  struct TBad {
    const char* guards;
    std::string request;
    std::string status;
  };
  const std::vector<TBad> cases = {
      {"a request line without a version", "GET /api/remote/\r\n\r\n", "400"},
      {"a length that is not a number", "POST /api/x/ HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
       "400"},
      {"a body beyond any voice message",
       "POST /api/x/ HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n", "413"},
      {"a chunked body, which the workstation never sends",
       "POST /api/x/ HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", "501"},
      {"a head that never ends", "GET /api/" + std::string(20000, 'a'), "400"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.guards);
    TConnection connection = connectTo("127.0.0.1", m_port);
    connection.send(c.request);
    const std::string reply = connection.readUntilClosed();
    EXPECT_EQ(reply.substr(0, 12), "HTTP/1.1 " + c.status) << reply;
  }
}

TEST_F(ApiTest, StopsAtOnceWithSilentClientsConnected) {
  serve({"--tls"});
  // Neither starts its handshake: each client thread waits in it.
  TConnection first = connectTo("127.0.0.1", m_port);
  TConnection second = connectTo("127.0.0.1", m_port);
  sim().waitForLine("api: listening");
  sim().terminate();
  EXPECT_EQ(sim().waitForExit(std::chrono::milliseconds(3000)), 0);
}

}  // namespace
