#include "signalling/Listener.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <QHostAddress>
#include <QTcpSocket>
#include <memory>

#include "base/Vigenere.h"
#include "core/AppSettings.h"
#include "tests/support/QtTestSupport.h"

namespace {

class TFakeHost : public IListenerHost {
 public:
  struct TCall {
    std::vector<std::string> fields;
    std::string address;
  };
  std::vector<TCall> calls;
  int minimised = 0;
  int stops = 0;
  std::string watched = "10.9.9.9";
  std::vector<std::string> sniffed;

  void admitCall(const std::vector<std::string>& fields, const std::string& address) override {
    calls.push_back({fields, address});
  }
  void minimizeMainWindow() override { ++minimised; }
  std::string decoderAddress() const override { return watched; }
  void stopStream() override { ++stops; }
  std::string hostIP() const override { return "192.168.1.20"; }
  void addSniffedIP(const std::string& address) override { sniffed.push_back(address); }
};

// A panel: a client socket from a chosen loopback source address.
std::unique_ptr<QTcpSocket> connectPanel(std::uint16_t port, const char* from = "127.0.0.1") {
  auto socket = std::make_unique<QTcpSocket>();
  socket->bind(QHostAddress(from));
  socket->connectToHost(QHostAddress::LocalHost, port);
  EXPECT_TRUE(socket->waitForConnected(5000));
  return socket;
}

void send(QTcpSocket& socket, const std::string& clear) {
  std::string scrambled = cipherPass(clear);
  socket.write(scrambled.data(), static_cast<qint64>(scrambled.size()));
  socket.flush();
}

class ListenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    loadCipherTable();
    listener = std::make_unique<TNotificationListener>(host, settings);
    ASSERT_TRUE(listener->activate(0));
  }

  std::size_t countOf(const std::string& text) {
    auto all = captured.texts();
    return static_cast<std::size_t>(std::count(all.begin(), all.end(), text));
  }

  TCapturedLog captured;
  TFakeHost host;
  TAppSettings settings;
  std::unique_ptr<TNotificationListener> listener;
};

struct TMessageCase {
  const char* fault;
  std::string clear;    // sent scrambled with one pass
  std::string watched;  // the decoder's address
  int startMinimized;
  std::vector<std::string> logAfterReceived;  // log lines after "Received message: ..."
  std::vector<std::string> admitted;          // fields handed to admission, if any
  int stops;
  int minimised;
  std::string reply;
};

}  // namespace

// Every row of the message handling table, through a real connection on loopback.
TEST_F(ListenerTest, EachMessageIsHandledAsItsCommandSays) {
  const TMessageCase cases[] = {
      {"a six-field start reaches admission with @ restored in the identities",
       "start;log;pw;8080;sip:100+192.168.1.10;sip:200+192.168.1.50",
       "",
       0,
       {"start received in server"},
       {"start", "log", "pw", "8080", "sip:100@192.168.1.10", "sip:200@192.168.1.50"},
       0,
       0,
       ""},
      {"a four-field start is enough for admission",
       "start;log;pw;8080",
       "",
       0,
       {"start received in server"},
       {"start", "log", "pw", "8080"},
       0,
       0,
       ""},
      {"a + in the login is not an identity and stays",
       "start;a+b;pw;80;x+y",
       "",
       0,
       {"start received in server"},
       {"start", "a+b", "pw", "80", "x@y"},
       0,
       0,
       ""},
      {"a three-field start has no identities to judge",
       "start;log;pw",
       "",
       0,
       {"start received in server", "No information about SIPIDs"},
       {},
       0,
       0,
       ""},
      {"ntmy is answered in clear and the announced address is kept",
       "ntmy;192.168.1.60",
       "",
       0,
       {"ntmy received", "Remote current IP 192.168.1.60", "sniffed IP : 192.168.1.60"},
       {},
       0,
       0,
       "probing;192.168.1.20"},
      {"ntmy without an address gets no reply",
       "ntmy",
       "",
       0,
       {"ntmy received", "Error: Empty IP field, ignoring this message"},
       {},
       0,
       0,
       ""},
      {"ntmy with an empty address gets no reply",
       "ntmy;",
       "",
       0,
       {"ntmy received", "Error: Empty IP field, ignoring this message"},
       {},
       0,
       0,
       ""},
      {"stop from the watched panel stops the stream",
       "stop",
       "127.0.0.1",
       0,
       {"stop received"},
       {},
       1,
       0,
       ""},
      {"stop from another panel is ignored",
       "stop;extra",
       "10.1.1.1",
       0,
       {"stop received", "Ignoring, this is not the streaming we're watching"},
       {},
       0,
       0,
       ""},
      {"with startMinimized every stop minimises, whoever sends it",
       "stop",
       "10.1.1.1",
       1,
       {"stop received", "Ignoring, this is not the streaming we're watching"},
       {},
       0,
       1,
       ""},
      {"commands are case-sensitive", "START;a;b;c", "", 0, {}, {}, 0, 0, ""},
      {"an unknown command is only logged as received", "hello;world", "", 0, {}, {}, 0, 0, ""},
      {"characters outside the alphabet spoil the command and nothing else happens",
       "st@rt;a;b;c",
       "",
       0,
       {},
       {},
       0,
       0,
       ""},
  };
  for (const TMessageCase& c : cases) {
    SCOPED_TRACE(c.fault);
    host = TFakeHost{};
    host.watched = c.watched;
    settings.startMinimized = c.startMinimized;
    std::size_t before = captured.texts().size();
    auto panel = connectPanel(listener->port());
    send(*panel, c.clear);
    std::string received = "Received message: " + cipherPass(c.clear);
    ASSERT_TRUE(waitUntil([&] { return captured.contains(received); }));
    if (!c.reply.empty()) {
      ASSERT_TRUE(waitUntil([&] { return panel->bytesAvailable() >= qint64(c.reply.size()); }));
      EXPECT_EQ(panel->readAll().toStdString(), c.reply);
    }
    pumpEvents(std::chrono::milliseconds(30));
    std::vector<std::string> texts = captured.texts();
    auto at = std::find(texts.begin() + static_cast<long>(before), texts.end(), received);
    std::vector<std::string> after(at + 1, texts.end());
    EXPECT_EQ(after, c.logAfterReceived);
    if (c.admitted.empty()) {
      EXPECT_TRUE(host.calls.empty());
    } else {
      ASSERT_EQ(host.calls.size(), 1u);
      EXPECT_EQ(host.calls[0].fields, c.admitted);
      EXPECT_EQ(host.calls[0].address, "127.0.0.1");
    }
    EXPECT_EQ(host.stops, c.stops);
    EXPECT_EQ(host.minimised, c.minimised);
    if (c.reply.empty()) {
      EXPECT_EQ(panel->bytesAvailable(), 0);
    }
    panel->abort();
    pumpEvents(std::chrono::milliseconds(20));
  }
}

// A message costs its own log lines however many other connections are open (each used to
// log "Received empty string" once per other connection), and two panels that both sent are
// both judged.
TEST_F(ListenerTest, AMessageCostsItsOwnLinesHoweverManyConnectionsAreOpen) {
  std::vector<std::unique_ptr<QTcpSocket>> idle;
  for (int i = 0; i < 250; ++i) {
    idle.push_back(std::make_unique<QTcpSocket>());
    idle.back()->connectToHost(QHostAddress::LocalHost, listener->port());
    // Accepted as they come, as panels arriving one by one would be.
    ASSERT_TRUE(waitUntil([&] { return listener->connectionCount() == i + 1; }));
  }
  auto first = connectPanel(listener->port(), "127.0.0.2");
  auto second = connectPanel(listener->port(), "127.0.0.3");
  ASSERT_TRUE(waitUntil([&] { return listener->connectionCount() == 252; }));
  std::size_t before = captured.texts().size();
  send(*second, "stop");
  ASSERT_TRUE(waitUntil([&] { return captured.contains("stop received"); }));
  pumpEvents(std::chrono::milliseconds(50));
  std::vector<std::string> texts = captured.texts();
  EXPECT_EQ(std::vector<std::string>(texts.begin() + static_cast<long>(before), texts.end()),
            (std::vector<std::string>{"Received message: " + cipherPass("stop"), "stop received",
                                      "Ignoring, this is not the streaming we're watching"}));

  send(*first, "start;a;b;1");
  send(*second, "start;c;d;2");
  ASSERT_TRUE(waitUntil([&] { return host.calls.size() == 2; }));
  std::set<std::string> addresses = {host.calls[0].address, host.calls[1].address};
  EXPECT_EQ(addresses, (std::set<std::string>{"127.0.0.2", "127.0.0.3"}));
  EXPECT_EQ(countOf("Received empty string"), 0u);
}

struct TPanelEndCase {
  const char* fault;
  bool reset;
  std::vector<std::string> errors;
};

// A panel closing its end after its message is the normal case and logs nothing; a reset is a
// socket error and is logged with its code.
TEST_F(ListenerTest, OnlyAResetIsASocketError) {
  const TPanelEndCase cases[] = {
      {"a normal close is not an error", false, {}},
      {"a reset is logged as error 10054", true, {"Socket server error 10054"}},
  };
  for (const TPanelEndCase& c : cases) {
    SCOPED_TRACE(c.fault);
    std::size_t before = captured.texts().size();
    auto panel = connectPanel(listener->port());
    ASSERT_TRUE(waitUntil([&] { return listener->connectionCount() == 1; }));
    send(*panel, "stop");
    ASSERT_TRUE(waitUntil([&] { return captured.texts().size() >= before + 3; }));
    if (c.reset) {
      linger hard{1, 0};
      ::setsockopt(static_cast<int>(panel->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                   sizeof hard);
      panel->abort();
    } else {
      panel->disconnectFromHost();
    }
    ASSERT_TRUE(waitUntil([&] { return listener->connectionCount() == 0; }));
    pumpEvents(std::chrono::milliseconds(50));
    std::vector<std::string> texts = captured.texts();
    std::vector<std::string> errors;
    for (std::size_t i = before; i < texts.size(); ++i)
      if (texts[i].rfind("Socket server error", 0) == 0) errors.push_back(texts[i]);
    EXPECT_EQ(errors, c.errors);
  }
}

// There is no framing: two messages written back to back are read as one text, and the second
// is lost (unscrambled with the wrong rows).
TEST_F(ListenerTest, BackToBackMessagesAreReadAsOne) {
  auto panel = connectPanel(listener->port());
  std::string both = cipherPass("ntmy;10.0.0.7") + cipherPass("stop");
  panel->write(both.data(), static_cast<qint64>(both.size()));
  ASSERT_TRUE(waitUntil([&] { return captured.contains("ntmy received"); }));
  pumpEvents(std::chrono::milliseconds(50));
  EXPECT_EQ(countOf("Received message: " + both), 1u);
  EXPECT_FALSE(captured.contains("stop received"));
  EXPECT_EQ(host.sniffed.size(), 1u);
}

// A LAN host must not be able to pin descriptors: silent connections are closed, and the
// number of connections is bounded by closing the longest-silent one.
TEST_F(ListenerTest, IdleConnectionsAreClosedAndTheirNumberIsBounded) {
  listener->setIdleTimeout(std::chrono::milliseconds(300));
  auto idle = connectPanel(listener->port());
  ASSERT_TRUE(waitUntil([&] { return idle->state() == QAbstractSocket::UnconnectedState; }));
  EXPECT_EQ(listener->connectionCount(), 0);

  listener->setIdleTimeout(std::chrono::minutes(5));
  std::vector<std::unique_ptr<QTcpSocket>> many;
  for (int i = 0; i < TNotificationListener::MaxConnections + 4; ++i) {
    many.push_back(std::make_unique<QTcpSocket>());
    many.back()->connectToHost(QHostAddress::LocalHost, listener->port());
    // Let the listener accept as we go, as it would with panels arriving one by one.
    ASSERT_TRUE(waitUntil([&] { return listener->connectionCount() >= std::min(i + 1, 256); }));
  }
  ASSERT_TRUE(
      waitUntil([&] { return many.front()->state() == QAbstractSocket::UnconnectedState; }));
  pumpEvents(std::chrono::milliseconds(100));
  EXPECT_LE(listener->connectionCount(), TNotificationListener::MaxConnections);
  EXPECT_EQ(many.back()->state(), QAbstractSocket::ConnectedState);
  send(*many.back(), "stop");
  EXPECT_TRUE(waitUntil([&] { return captured.contains("stop received"); }));
}

// An oversized send is one message of 64 KiB: the rest of it is discarded, not read as further
// messages, and a message sent after a pause on the same connection is read normally.
TEST_F(ListenerTest, OversizedSendIsOneBoundedMessage) {
  const std::string prefix = "Received message: ";
  auto messages = [&] {
    std::vector<std::string> found;
    for (const std::string& text : captured.texts())
      if (text.rfind(prefix, 0) == 0) found.push_back(text.substr(prefix.size()));
    return found;
  };
  auto panel = connectPanel(listener->port());
  const std::string huge = cipherPass("stop;" + std::string(200 * 1024, 'a'));
  panel->write(huge.data(), static_cast<qint64>(huge.size()));
  ASSERT_TRUE(waitUntil([&] { return captured.contains("stop received"); }));
  ASSERT_TRUE(waitUntil([&] { return panel->bytesToWrite() == 0; }));
  // The pause: longer than the quiet time, counted from when the tail was sent.
  pumpEvents(std::chrono::milliseconds(600));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], huge.substr(0, 64 * 1024));

  send(*panel, "ntmy;10.0.0.7");
  ASSERT_TRUE(waitUntil([&] { return panel->bytesAvailable() > 0; }));
  EXPECT_EQ(panel->readAll().toStdString(), "probing;192.168.1.20");
  EXPECT_EQ(messages(),
            (std::vector<std::string>{huge.substr(0, 64 * 1024), cipherPass("ntmy;10.0.0.7")}));
  EXPECT_EQ(countOf("stop received"), 1u);
}
