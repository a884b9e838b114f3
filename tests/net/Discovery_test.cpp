#include "net/Discovery.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QNetworkDatagram>
#include <memory>

#include "core/AppSettings.h"
#include "core/UiTexts.h"
#include "tests/support/QtTestSupport.h"

namespace {

// The pass always uses UDP port 22451, and CTest may run cases of this binary in parallel
// processes: each case holds this lock while it binds that port, or the receivers of one case
// would take the other's datagrams.
class TDiscoveryPortLock {
 public:
  TDiscoveryPortLock() {
    const std::string path = QDir::tempPath().toStdString() + "/ostrel-test-udp-22451-" +
                             std::to_string(::getuid()) + ".lock";
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd >= 0) ::flock(m_fd, LOCK_EX);
  }
  ~TDiscoveryPortLock() {
    if (m_fd >= 0) ::close(m_fd);
  }
  TDiscoveryPortLock(const TDiscoveryPortLock&) = delete;
  TDiscoveryPortLock& operator=(const TDiscoveryPortLock&) = delete;

 private:
  int m_fd = -1;
};

class TFakeLed : public ILedView {
 public:
  enum class EIcon { Initial, None, Detected };
  EIcon icon = EIcon::Initial;
  std::string hint;  // empty at start-up, as the main window's LED
  void setLedIcon(bool detected) override { icon = detected ? EIcon::Detected : EIcon::None; }
  void setLedHint(const std::string& text) override { hint = text; }
  std::string ledHint() const override { return hint; }
};

struct TDatagram {
  std::string payload;
  std::string sender;
  std::uint16_t senderPort = 0;
};

// A panel's discovery socket on its own loopback address.
class TReceiver {
 public:
  explicit TReceiver(const QHostAddress& address) {
    // Address reuse: the pass binds 127.0.0.1:22451 at the same time.
    m_ok = m_socket.bind(address, TDiscovery::DiscoveryPort,
                         QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
  }
  bool ok() const { return m_ok; }
  // Waits for `count` datagrams in all and returns everything received so far.
  std::vector<TDatagram> take(std::size_t count) {
    waitUntil([&] {
      drain();
      return m_received.size() >= count;
    });
    return takeAll();
  }
  std::vector<TDatagram> takeAll() {
    drain();
    return std::exchange(m_received, {});
  }

 private:
  void drain() {
    while (m_socket.hasPendingDatagrams()) {
      QNetworkDatagram d = m_socket.receiveDatagram();
      m_received.push_back({d.data().toStdString(), d.senderAddress().toString().toStdString(),
                            static_cast<std::uint16_t>(d.senderPort())});
    }
  }
  QUdpSocket m_socket;
  bool m_ok = false;
  std::vector<TDatagram> m_received;
};

std::vector<std::string> payloadsOf(const std::vector<TDatagram>& datagrams) {
  std::vector<std::string> out;
  for (const TDatagram& d : datagrams) out.push_back(d.payload);
  return out;
}

const std::string kNotAvailable =
    "Socket error: 10049 [WSAEADDRNOTAVAIL] Cannot bind address, make sure you selected a valid "
    "interface in Tools/ Settings/ Preferences/ Network Interface(s)";
const std::string kNotConnected =
    "Socket error: 10057 [WSAENOTCONN] Cannot send datagram on not connected socket. Please, "
    "check your network configuration.";

// A name that cannot resolve without asking anyone: a label over 63 characters cannot be put
// in a DNS query, so no resolver on the network is asked about it.
const std::string kUnresolvable = std::string(64, 'x') + ".invalid";

class DiscoveryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ensureQtApplication();
    setLanguage("EN");
  }
  void SetUp() override {
    settings.platines = "127.0.0.2;127.0.0.3";
    network.HostIP = "127.0.0.1";
    network.InterfaceAddresses = {"127.0.0.1"};
    network.BroadcastAddresses = {"127.255.255.255"};
    ASSERT_TRUE(panel2.ok());
    ASSERT_TRUE(panel3.ok());
  }

  TDiscoveryPortLock lock;
  TCapturedLog captured;
  TNetworkState network;
  TFakeLed led;
  TAppSettings settings;
  TDiscovery discovery{settings, network, led};
  TReceiver panel2{QHostAddress("127.0.0.2")};
  TReceiver panel3{QHostAddress("127.0.0.3")};
};

TEST_F(DiscoveryTest, OnePassBroadcastsThenAnnouncesToEveryPanelInOrder) {
  TReceiver anyPanel{QHostAddress::AnyIPv4};  // where a broadcast on loopback lands
  ASSERT_TRUE(anyPanel.ok());

  discovery.BCast();

  for (TReceiver* panel : {&panel2, &panel3}) {
    auto got = panel->take(1);
    ASSERT_EQ(payloadsOf(got), std::vector<std::string>{"127.0.0.1;streamer\r\n"});
    // The unicasts leave from the long-lived socket, not from the broadcast one.
    EXPECT_NE(got[0].senderPort, TDiscovery::DiscoveryPort);
  }
  EXPECT_EQ(captured.texts(), (std::vector<std::string>{
                                  "127.0.0.1 is sending broadcast 127.255.255.255",
                                  "Beta: Sending UNICAST to 127.0.0.2",
                                  "Beta: Sending UNICAST to 127.0.0.3",
                                  "Broadcast sent",
                              }));

  // Linux delivers a broadcast sent from 127.0.0.1 on the loopback interface; a host that does
  // not has shown above that the send itself succeeded (no " out of range").
  std::vector<TDatagram> broadcasts;
  waitUntil(
      [&] {
        for (TDatagram& d : anyPanel.takeAll()) broadcasts.push_back(d);
        return !broadcasts.empty();
      },
      std::chrono::seconds(2));
  if (broadcasts.empty()) {
    GTEST_LOG_(INFO) << "broadcasts are not delivered on this host's loopback; payload unchecked";
    return;
  }
  ASSERT_EQ(broadcasts.size(), 1u);
  EXPECT_EQ(broadcasts[0].payload, "127.0.0.1;streamer");  // no line end on the broadcast
  EXPECT_EQ(broadcasts[0].sender, "127.0.0.1");
  EXPECT_EQ(broadcasts[0].senderPort, TDiscovery::DiscoveryPort);
}

struct TPassCase {
  const char* fault;
  std::vector<std::string> interfaces;
  std::vector<std::string> broadcasts;
  std::string platines;
  std::vector<std::string> log;
  std::vector<std::string> toPanel2;  // unicast payloads expected at 127.0.0.2, in order
};

TEST_F(DiscoveryTest, EachInterfaceHasItsOwnStepAndAFailureEndsOnlyWhereItHappens) {
  const std::string from1 = "127.0.0.1;streamer\r\n";
  const std::vector<TPassCase> cases = {
      {"two interfaces: the panels hear each interface's own address",
       {"127.0.0.1", "127.0.0.4"},
       {"127.255.255.255", "127.255.255.255"},
       "127.0.0.2",
       {"127.0.0.1 is sending broadcast 127.255.255.255", "Beta: Sending UNICAST to 127.0.0.2",
        "Broadcast sent", "127.0.0.4 is sending broadcast 127.255.255.255",
        "Beta: Sending UNICAST to 127.0.0.2", "Broadcast sent"},
       {from1, "127.0.0.4;streamer\r\n"}},
      {"an interface that cannot be bound must not stop the next one, nor send its unicasts",
       {"203.0.113.7", "127.0.0.1"},
       {"203.0.113.255", "127.255.255.255"},
       "127.0.0.2",
       {"203.0.113.7 is sending broadcast 203.0.113.255", "0 out of range", "Broadcast sent",
        "127.0.0.1 is sending broadcast 127.255.255.255", "Beta: Sending UNICAST to 127.0.0.2",
        "Broadcast sent"},
       {from1}},
      {"an empty setting is one empty entry, which names no host: reported, never sent",
       {"127.0.0.1"},
       {"127.255.255.255"},
       "",
       {"127.0.0.1 is sending broadcast 127.255.255.255", "Beta: Sending UNICAST to ",
        kNotAvailable, kNotConnected, "Broadcast sent"},
       {}},
      {"empty entries between panels are reported and the following panels still get theirs",
       {"127.0.0.1"},
       {"127.255.255.255"},
       ";127.0.0.2",
       {"127.0.0.1 is sending broadcast 127.255.255.255", "Beta: Sending UNICAST to ",
        kNotAvailable, kNotConnected, "Beta: Sending UNICAST to 127.0.0.2", "Broadcast sent"},
       {from1}},
      {"a host name that does not resolve is a socket error, not the end of the pass",
       {"127.0.0.1"},
       {"127.255.255.255"},
       kUnresolvable + ";127.0.0.2",
       {"127.0.0.1 is sending broadcast 127.255.255.255",
        "Beta: Sending UNICAST to " + kUnresolvable, "Socket error: 10065", kNotConnected,
        "Beta: Sending UNICAST to 127.0.0.2", "Broadcast sent"},
       {from1}},
      {"lists of different lengths must not read past the interface list",
       {"127.0.0.1"},
       {"127.255.255.255", "10.255.255.255"},
       "127.0.0.2",
       {"127.0.0.1 is sending broadcast 127.255.255.255", "Beta: Sending UNICAST to 127.0.0.2",
        "Broadcast sent", "1 out of range", "Broadcast sent"},
       {from1}},
      {"no interface: a pass sends and logs nothing", {}, {}, "127.0.0.2", {}, {}},
  };
  for (const TPassCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TCapturedLog log;
    network.InterfaceAddresses = c.interfaces;
    network.BroadcastAddresses = c.broadcasts;
    settings.platines = c.platines;

    discovery.BCast();

    EXPECT_EQ(log.texts(), c.log);
    EXPECT_EQ(payloadsOf(panel2.take(c.toPanel2.size())), c.toPanel2);
  }
}

TEST_F(DiscoveryTest, DiscoveryTickEmptiesTheListEverySecondTickBeforeItsPass) {
  settings.platines = "127.0.0.2";
  const std::string clearLine = "******* clear sniffedIP *******";
  std::uint16_t firstSourcePort = 0;
  for (int tick = 1; tick <= 4; ++tick) {
    SCOPED_TRACE("tick " + std::to_string(tick));
    TCapturedLog log;
    discovery.SniffedIPs().add("192.168.1.60");

    discovery.onDiscoveryTick();

    const bool clears = tick % 2 == 0;
    EXPECT_EQ(discovery.SniffedIPs().empty(), clears);
    auto lines = log.texts();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front() == clearLine, clears) << lines.front();
    EXPECT_EQ(lines.back(), "Broadcast sent");  // every tick sends, 22451 is bound again each time
    auto got = panel2.take(1);
    ASSERT_EQ(payloadsOf(got), std::vector<std::string>{"127.0.0.1;streamer\r\n"});
    // The same destination keeps the same unicast socket from pass to pass.
    if (firstSourcePort == 0) firstSourcePort = got[0].senderPort;
    EXPECT_EQ(got[0].senderPort, firstSourcePort);
  }
}

TEST(SniffedIPs, StaysSortedAndListsAnAddressOnce) {
  TSniffedIPs list;
  for (const char* address : {"192.168.1.60", "10.0.0.5", "192.168.1.60", "192.168.1.100"})
    list.add(address);
  EXPECT_EQ(list.items(), (std::vector<std::string>{"10.0.0.5", "192.168.1.100", "192.168.1.60"}));
  EXPECT_TRUE(list.contains("192.168.1.60"));
  EXPECT_FALSE(list.contains("192.168.1.6"));
  list.clear();
  EXPECT_TRUE(list.empty());
}

struct TLedCase {
  const char* fault;
  std::string ticks;   // per one-second tick: 'A' an address is listed, '.' the list is empty
  std::string shown;   // after each tick: '1' detected, '0' none detected, '-' start-up look
  int switchingLines;  // "Switching LED" lines in all
};

TEST(DiscoveryLed, TurnsOnAtOnceAndOffAtTheSixthEmptyTickSinceItTurnedOn) {
  ensureQtApplication();
  setLanguage("EN");
  const std::vector<TLedCase> cases = {
      {"the LED must turn on at the first tick with an address", "A", "1", 1},
      {"an LED already on is not switched again", "AAA", "111", 1},
      {"off only at the sixth empty tick, not the fifth", "A......", "1111110", 1},
      {"the delay counter is not reset by an address while on: empty ticks need not follow",
       "A..A....", "11111110", 1},
      {"once off, it turns on again at the next address", "A......A", "11111101", 2},
      {"at start-up the empty list sets the none-detected hint at the sixth tick", "......",
       "-----0", 0},
  };
  for (const TLedCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TCapturedLog log;
    TNetworkState network;
    TFakeLed led;
    TAppSettings settings;
    TDiscovery discovery(settings, network, led);
    std::string shown;
    for (char tick : c.ticks) {
      if (tick == 'A')
        discovery.SniffedIPs().add("192.168.1.60");
      else
        discovery.SniffedIPs().clear();
      discovery.ledStep();
      switch (led.icon) {
        case TFakeLed::EIcon::Initial:
          EXPECT_EQ(led.hint, "");
          shown += '-';
          break;
        case TFakeLed::EIcon::None:
          EXPECT_EQ(led.hint, "No doorphones were detected on the network.");
          shown += '0';
          break;
        case TFakeLed::EIcon::Detected:
          EXPECT_EQ(led.hint, "At least one doorphone has been detected on the network.");
          shown += '1';
          break;
      }
    }
    EXPECT_EQ(shown, c.shown);
    auto lines = log.texts();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Switching LED"), c.switchingLines);
  }
}

}  // namespace
