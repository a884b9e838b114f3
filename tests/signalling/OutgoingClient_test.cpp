#include "signalling/OutgoingClient.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <optional>

#include "base/Vigenere.h"
#include "tests/support/QtTestSupport.h"

namespace {

const std::string kHostIP = "192.168.1.20";
const std::string kRequest = "favstream;" + kHostIP;

class TFakeStreams : public IStreamControl {
 public:
  bool wanted = false;
  TStreamTarget current;
  std::vector<TStreamTarget> targetsSet;
  int launches = 0;
  int snapClears = 0;

  bool StreamWanted() const override { return wanted; }
  TStreamTarget target() const override { return current; }
  void setTarget(const TStreamTarget& target) override {
    current = target;
    targetsSet.push_back(target);
  }
  void launchStream() override {
    ++launches;
    wanted = true;
  }
  void stopStream() override { wanted = false; }
  void clearSnapDone() override { ++snapClears; }
};

// The panel's end of one connection.
class TPanelConnection {
 public:
  explicit TPanelConnection(QTcpSocket* socket) : m_socket(socket) {}
  explicit operator bool() const { return !m_socket.isNull(); }

  // Everything received until `size` bytes in all have come.
  std::string waitForBytes(std::size_t size) {
    waitUntil([&] {
      drain();
      return m_received.size() >= size;
    });
    return m_received;
  }
  // Everything received until the workstation closed the connection.
  std::string waitUntilClosed() {
    waitUntil([&] {
      drain();
      return m_socket.isNull() || m_socket->state() == QAbstractSocket::UnconnectedState;
    });
    drain();
    return m_received;
  }
  bool closed() const {
    return m_socket.isNull() || m_socket->state() == QAbstractSocket::UnconnectedState;
  }
  // The panel's two ways of ending: a normal close, or a reset (SO_LINGER 0 sends RST).
  void close() { m_socket->close(); }
  void reset() {
    linger hard{1, 0};
    ::setsockopt(static_cast<int>(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                 sizeof hard);
    m_socket->abort();
  }
  // The panel scrambles its answers with one pass.
  void answer(const std::string& clear) {
    const std::string scrambled = cipherPass(clear);
    m_socket->write(scrambled.data(), static_cast<qint64>(scrambled.size()));
    m_socket->flush();
  }

 private:
  void drain() {
    if (m_socket.isNull()) return;
    QByteArray bytes = m_socket->readAll();
    m_received.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  }
  QPointer<QTcpSocket> m_socket;
  std::string m_received;
};

// A panel's signalling port on its own loopback address.
class TPanel {
 public:
  explicit TPanel(const char* address, std::uint16_t port = 0) {
    m_ok = m_server.listen(QHostAddress(address), port);
  }
  bool ok() const { return m_ok; }
  std::uint16_t port() const { return m_server.serverPort(); }
  TPanelConnection accept() {
    waitUntil([&] { return m_server.hasPendingConnections(); });
    return TPanelConnection(m_server.nextPendingConnection());
  }
  bool hasPendingConnections() const { return m_server.hasPendingConnections(); }

 private:
  QTcpServer m_server;
  bool m_ok = false;
};

class OutgoingClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ensureQtApplication();
    loadCipherTable();
  }
  void SetUp() override {
    ASSERT_TRUE(panel2.ok());
    client.setRemotePort(panel2.port());
  }

  TCapturedLog captured;
  TFakeStreams streams;
  TOutgoingClient client{streams, [] { return kHostIP; }};
  TPanel panel2{"127.0.0.2"};
};

TEST_F(OutgoingClientTest, FavouriteRequestIsTheCommandAndHostAddressInClearWithoutLineEnd) {
  client.favouriteRequest("127.0.0.2");
  TPanelConnection panel = panel2.accept();
  ASSERT_TRUE(panel);
  panel.waitForBytes(kRequest.size());
  panel.answer("stop");
  // Read to the end of the connection: a terminator or a second write would show here.
  EXPECT_EQ(panel.waitUntilClosed(), kRequest);
  EXPECT_EQ(client.PendingCommand(), "favstream");
  auto lines = captured.texts();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Sending favstream");
  EXPECT_EQ(lines[1], "favstream sent");
}

struct TAnswerCase {
  const char* fault;
  std::string answer;   // in clear; the panel scrambles it
  bool wanted;          // a stream is wanted...
  std::string watched;  // ...of this panel
  std::optional<TStreamTarget> started;
  int snapClears;
  std::vector<std::string> logAfterData;
};

TEST_F(OutgoingClientTest, TheAnswerStartsTheVideoOnlyWhenItIsAFourFieldStartFromAnotherPanel) {
  const TStreamTarget panelTarget{"127.0.0.2", "127.0.0.2", "login", "secret", "8080"};
  const std::vector<TAnswerCase> cases = {
      {"a four-field start opens the answering panel's video, its address shown over it",
       "start;login;secret;8080",
       false,
       "",
       panelTarget,
       1,
       {"start received in client", "Streaming Address: 127.0.0.2"}},
      {"a start with an identity (five fields) must open nothing",
       "start;login;secret;8080;sip:200+127.0.0.2",
       false,
       "",
       std::nullopt,
       0,
       {"start received in client"}},
      {"a start with three fields must open nothing",
       "start;login;secret",
       false,
       "",
       std::nullopt,
       0,
       {"start received in client"}},
      {"the panel already watched: the running stream is left alone",
       "start;login;secret;8080",
       true,
       "127.0.0.2",
       std::nullopt,
       1,
       {"start received in client"}},
      {"the same panel shown last but no stream wanted any more is opened again",
       "start;login;secret;8080",
       false,
       "127.0.0.2",
       panelTarget,
       1,
       {"start received in client", "Streaming Address: 127.0.0.2"}},
      {"while another panel is watched the answer switches to this one",
       "start;login;secret;8080",
       true,
       "127.0.0.9",
       panelTarget,
       1,
       {"start received in client", "Streaming Address: 127.0.0.2"}},
      {"a command other than start is only logged",
       "stop;login;secret;8080",
       false,
       "",
       std::nullopt,
       0,
       {}},
      {"the command is compared case-sensitively",
       "START;login;secret;8080",
       false,
       "",
       std::nullopt,
       0,
       {}},
  };
  for (const TAnswerCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TCapturedLog log;
    streams = TFakeStreams{};
    streams.wanted = c.wanted;
    streams.current.Address = c.watched;

    client.favouriteRequest("127.0.0.2");
    TPanelConnection panel = panel2.accept();
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel.waitForBytes(kRequest.size()), kRequest);
    panel.answer(c.answer);
    // Whatever the answer, the client closes the connection after it.
    panel.waitUntilClosed();
    EXPECT_TRUE(panel.closed());
    EXPECT_FALSE(client.connected());

    std::vector<std::string> expected = {"Sending favstream", "favstream sent",
                                         "Data received in client: " + cipherPass(c.answer)};
    expected.insert(expected.end(), c.logAfterData.begin(), c.logAfterData.end());
    EXPECT_EQ(log.texts(), expected);
    EXPECT_EQ(streams.snapClears, c.snapClears);
    if (c.started) {
      ASSERT_EQ(streams.targetsSet.size(), 1u);
      EXPECT_EQ(streams.targetsSet[0], *c.started);
      EXPECT_EQ(streams.launches, 1);
    } else {
      EXPECT_TRUE(streams.targetsSet.empty());
      EXPECT_EQ(streams.launches, 0);
    }
  }
}

TEST_F(OutgoingClientTest, ARefusedConnectionIsLoggedWithItsWinsockCodeAndNothingElse) {
  std::uint16_t closedPort = 0;
  {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress("127.0.0.1"), 0));
    closedPort = probe.serverPort();
  }
  client.setRemotePort(closedPort);
  client.favouriteRequest("127.0.0.1");
  ASSERT_TRUE(waitUntil([&] { return captured.contains("Error 10061"); }));
  EXPECT_EQ(captured.texts(), std::vector<std::string>{"Error 10061"});
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(streams.launches, 0);
}

struct TPanelEndCase {
  const char* fault;
  std::string answer;  // sent before the panel ends the connection, if any
  bool reset;
  std::vector<std::string> errors;  // "Error ..." lines expected
  int launches;
};

// Qt reports a panel's normal close as an error: it must not be logged as one, answered or not.
// A reset is an error and is logged with its code.
TEST_F(OutgoingClientTest, OnlyAResetIsLoggedAsAnError) {
  const TPanelEndCase cases[] = {
      {"an answer and a normal close start the video without an error",
       "start;l;p;8080",
       false,
       {},
       1},
      {"a normal close without an answer is not an error", "", false, {}, 0},
      {"a reset without an answer is error 10054", "", true, {"Error 10054"}, 0},
  };
  for (const TPanelEndCase& c : cases) {
    SCOPED_TRACE(c.fault);
    streams = TFakeStreams{};
    std::size_t before = captured.texts().size();
    client.favouriteRequest("127.0.0.2");
    TPanelConnection connection = panel2.accept();
    ASSERT_TRUE(connection);
    ASSERT_EQ(connection.waitForBytes(kRequest.size()), kRequest);
    if (!c.answer.empty()) connection.answer(c.answer);
    if (c.reset)
      connection.reset();
    else
      connection.close();
    ASSERT_TRUE(waitUntil([&] { return !client.connected(); }));
    pumpEvents(std::chrono::milliseconds(100));
    std::vector<std::string> texts = captured.texts();
    std::vector<std::string> errors;
    for (std::size_t i = before; i < texts.size(); ++i)
      if (texts[i].rfind("Error", 0) == 0) errors.push_back(texts[i]);
    EXPECT_EQ(errors, c.errors);
    EXPECT_EQ(streams.launches, c.launches);
  }
}

TEST_F(OutgoingClientTest, AManualRequestGoesToTheTypedAddressWhenTheClientIsFree) {
  client.manualRequest("");
  pumpEvents(std::chrono::milliseconds(100));
  EXPECT_FALSE(panel2.hasPendingConnections());
  EXPECT_TRUE(captured.texts().empty()) << "an empty address must do nothing";

  client.manualRequest("127.0.0.2");
  TPanelConnection panel = panel2.accept();
  ASSERT_TRUE(panel);
  EXPECT_EQ(panel.waitForBytes(kRequest.size()), kRequest);
  panel.answer("start;admin;pw;8081");
  panel.waitUntilClosed();
  ASSERT_EQ(streams.targetsSet.size(), 1u);
  EXPECT_EQ(streams.targetsSet[0],
            (TStreamTarget{"127.0.0.2", "127.0.0.2", "admin", "pw", "8081"}));
  EXPECT_EQ(streams.launches, 1);
}

TEST_F(OutgoingClientTest, AManualRequestWhileUnansweredIsSentAgainOnThatConnection) {
  TPanel panel3("127.0.0.3", panel2.port());
  ASSERT_TRUE(panel3.ok());

  client.favouriteRequest("127.0.0.2");
  TPanelConnection earlier = panel2.accept();
  ASSERT_TRUE(earlier);
  earlier.waitForBytes(kRequest.size());

  client.manualRequest("127.0.0.3");
  EXPECT_EQ(earlier.waitForBytes(2 * kRequest.size()), kRequest + kRequest);
  pumpEvents(std::chrono::milliseconds(200));
  EXPECT_FALSE(panel3.hasPendingConnections()) << "the typed address must not be used";
  EXPECT_FALSE(panel2.hasPendingConnections()) << "no second connection to the earlier panel";

  // The earlier panel's answer is the one that starts the video.
  earlier.answer("start;login;secret;8080");
  earlier.waitUntilClosed();
  ASSERT_EQ(streams.targetsSet.size(), 1u);
  EXPECT_EQ(streams.targetsSet[0].Address, "127.0.0.2");
}

TEST_F(OutgoingClientTest, AFavouriteRequestReplacesAHangingConnection) {
  TPanel panel3("127.0.0.3", panel2.port());
  ASSERT_TRUE(panel3.ok());
  struct TCase {
    const char* fault;
    const char* next;
    TPanel* nextPanel;
  };
  const std::vector<TCase> cases = {
      {"the same panel again: a new connection, the silent one closed", "127.0.0.2", &panel2},
      {"another panel: the silent connection must not keep the request", "127.0.0.3", &panel3},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    streams = TFakeStreams{};
    client.favouriteRequest("127.0.0.2");
    TPanelConnection hanging = panel2.accept();
    ASSERT_TRUE(hanging);
    hanging.waitForBytes(kRequest.size());

    client.favouriteRequest(c.next);
    EXPECT_EQ(hanging.waitUntilClosed(), kRequest);
    TPanelConnection fresh = c.nextPanel->accept();
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh.waitForBytes(kRequest.size()), kRequest);
    fresh.answer("start;login;secret;8080");
    fresh.waitUntilClosed();
    ASSERT_EQ(streams.targetsSet.size(), 1u);
    EXPECT_EQ(streams.targetsSet[0].Address, c.next);
  }
}

TEST_F(OutgoingClientTest, ARequestWhileAnEarlierOneIsStillLookingUpItsHostGoesOut) {
  // The first host name is still being looked up when the second request comes: the newer
  // request must not be dropped. A label longer than 63 bytes cannot go into a DNS query, so the
  // lookup never leaves the machine.
  client.favouriteRequest(std::string(64, 'x') + ".invalid");
  client.favouriteRequest("127.0.0.2");
  TPanelConnection panel = panel2.accept();
  ASSERT_TRUE(panel);
  EXPECT_EQ(panel.waitForBytes(kRequest.size()), kRequest);
  // The abandoned lookup goes on in Qt's lookup thread; Qt 6.4 crashes when the process ends
  // under it, so it is given time to end first.
  pumpEvents(std::chrono::milliseconds(300));
}

}  // namespace
