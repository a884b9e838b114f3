#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QThread>
#include <fstream>

#include "api/DigestAuth.h"
#include "api/HttpApi.h"
#include "tests/support/QtTestSupport.h"

// The relay command against a real web server nobody here wrote: Apache HTTP Server with
// mod_auth_digest (and mod_ssl for https), started on a free loopback port with its own
// configuration in a temporary folder.
namespace {

constexpr const char* kApache = "/usr/sbin/apache2";
constexpr const char* kModules = "/usr/lib/apache2/modules";

int freeLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

bool accepts(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

class TApache {
 public:
  explicit TApache(bool tls) : m_port(freeLoopbackPort()) {
    const std::string dir = m_dir.path().toStdString();
    ::chmod(dir.c_str(), 0755);  // the server's own account reads the script
    writeFileBytes(dir + "/ok.cgi",
                   "#!/bin/sh\nprintf 'Content-Type: application/json\\r\\n\\r\\n"
                   "{\"result\":\"ok\"}'\n");
    ::chmod((dir + "/ok.cgi").c_str(), 0755);
    writeFileBytes(dir + "/htdigest", "admin:panel:" + md5Hex("admin:panel:s3cret") + "\n");
    ::chmod((dir + "/htdigest").c_str(), 0644);
    std::string conf;
    for (const char* m : {"mpm_prefork", "authz_core", "authn_core", "authn_file", "auth_digest",
                          "authz_user", "alias", "cgi", "ssl", "socache_shmcb"}) {
      conf += "LoadModule " + std::string(m) + "_module " + kModules + "/mod_" + m + ".so\n";
    }
    conf += "ServerName localhost\nListen 127.0.0.1:" + std::to_string(m_port) + "\n";
    conf += "PidFile " + dir + "/httpd.pid\nErrorLog " + dir + "/error.log\nLogLevel info\n";
    conf += "User www-data\nGroup www-data\nDocumentRoot " + dir + "\n";
    conf += "ScriptAliasMatch ^/api/ " + dir + "/ok.cgi\n";
    conf +=
        "<LocationMatch ^/api/>\n AuthType Digest\n AuthName \"panel\"\n"
        " AuthDigestProvider file\n AuthUserFile " +
        dir +
        "/htdigest\n"
        " Require valid-user\n</LocationMatch>\n";
    if (tls) {
      QProcess::execute("openssl",
                        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                         "/CN=panel", "-keyout", QString::fromStdString(dir + "/key.pem"), "-out",
                         QString::fromStdString(dir + "/cert.pem")});
      ::chmod((dir + "/key.pem").c_str(), 0644);
      conf += "SSLEngine on\nSSLCertificateFile " + dir + "/cert.pem\n";
      conf += "SSLCertificateKeyFile " + dir + "/key.pem\n";
    }
    writeFileBytes(dir + "/httpd.conf", conf);
    m_pid = ::fork();
    if (m_pid == 0) {
      // Its own process group: on SIGTERM the server signals its whole group.
      ::setpgid(0, 0);
      ::execl(kApache, kApache, "-f", (dir + "/httpd.conf").c_str(), "-DFOREGROUND",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~TApache() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGTERM);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  bool ready() const {
    return waitUntil([&] { return accepts(m_port); }, std::chrono::seconds(20));
  }
  std::string errorLog() const { return readFileBytes(m_dir.path().toStdString() + "/error.log"); }
  std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }

 private:
  QTemporaryDir m_dir;
  int m_port;
  pid_t m_pid = -1;
};

class ApacheDigestTest : public ::testing::TestWithParam<std::tuple<bool, std::string>> {
 protected:
  void SetUp() override {
    ensureQtApplication();
    if (::access(kApache, X_OK) != 0) GTEST_SKIP() << "apache2 is not installed";
  }
};

TApiRequest relayRequest(const std::string& address, bool tls, const std::string& method,
                         const std::string& password) {
  TApiRequest r;
  r.address = address;
  r.command = "remote";
  r.payload = "{\"code\":\"1234\"}";
  r.settings.ssl = tls;
  r.settings.method = method;
  r.settings.authType = "Digest";
  r.settings.username = "admin";
  r.settings.password = password;
  return r;
}

TEST_P(ApacheDigestTest, AcceptsTheRightPasswordAndRefusesAWrongOne) {
  auto [tls, method] = GetParam();
  TApache apache(tls);
  ASSERT_TRUE(apache.ready()) << apache.errorLog();
  THttpApi api;
  {
    TCapturedLog log;
    TApiResult r = api.httpAPI(relayRequest(apache.address(), tls, method, "s3cret"));
    EXPECT_TRUE(r.ok) << r.error << "\n" << apache.errorLog();
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.response, "{\"result\":\"ok\"}");
    EXPECT_TRUE(log.contains("TIdDigestAuthentication"));
  }
  {
    TCapturedLog log;
    TApiResult r = api.httpAPI(relayRequest(apache.address(), tls, method, "wrong"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 401);
    EXPECT_EQ(r.response, "");
    EXPECT_TRUE(r.error.starts_with("HTTP/1.1 401")) << r.error;
    auto texts = log.texts();
    EXPECT_EQ(
        std::count_if(texts.begin(), texts.end(),
                      [](const std::string& t) { return t.starts_with("onAuthorization: "); }),
        2)
        << "one answer per attempt: the failure came after the retry";
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const std::string& t) {
      return t.find("401") != std::string::npos && !t.starts_with("onAuthorization");
    })) << "the 401 failure is logged";
  }
}

INSTANTIATE_TEST_SUITE_P(HttpAndHttps, ApacheDigestTest,
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Values(std::string("GET"),
                                                              std::string("POST"))),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "Https" : "Http") +
                                  std::get<1>(info.param);
                         });

}  // namespace
