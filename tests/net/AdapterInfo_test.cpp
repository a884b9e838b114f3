#include "net/AdapterInfo.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <QHostAddress>
#include <QNetworkInterface>
#include <algorithm>
#include <optional>
#include <set>

#include "core/DebugLog.h"
#include "platform/Clock.h"
#include "tests/support/QtTestSupport.h"

namespace {

// The usual small host: loop-back (index 1) and one Ethernet card at 192.168.1.10/24 (index 2).
TIfTable loopbackAndEthernet() {
  TIfTable table;
  table.interfaces = {fakeIfRow(1, NetIfType::Loopback, IfAdminUp, IfOperUp),
                      fakeIfRow(2, NetIfType::Ethernet, IfAdminUp, IfOperUp)};
  table.addresses = {{1, "127.0.0.1", "255.0.0.0"}, {2, "192.168.1.10", "255.255.255.0"}};
  return table;
}

class LogCapture : public ::testing::Test {
 protected:
  std::vector<std::string> logTexts() const { return m_captured.texts(); }

  TCapturedLog m_captured;
};

TEST(BroadcastOf, OctetsOrInvertedMask) {
  struct Case {
    const char* address;
    const char* mask;
    const char* broadcast;
  };
  const Case cases[] = {
      {"192.168.1.10", "255.255.255.0", "192.168.1.255"},
      {"192.168.1.10", "255.255.0.0", "192.168.255.255"},
      {"10.1.2.3", "255.255.255.252", "10.1.2.3"},  // mask bits not on an octet boundary
      {"10.1.2.4", "255.255.255.252", "10.1.2.7"},
      {"172.16.5.4", "255.240.0.0", "172.31.255.255"},
      {"192.168.1.10", "255.255.255.255", "192.168.1.10"},
      {"192.168.1.10", "0.0.0.0", "255.255.255.255"},
      {"127.0.0.1", "255.0.0.0", "127.255.255.255"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(broadcastOf(c.address, c.mask), c.broadcast) << c.address << "/" << c.mask;
}

// A text that is not an address must not turn into a made-up broadcast address (an octet of 300
// would otherwise print as "300").
TEST(BroadcastOf, RejectsWhatIsNotAnAddress) {
  const char* bad[] = {
      "",         "192.168.1", "192.168.1.10.5", "192.168..10", "192.168.1.256", "192.168.1.x",
      "-1.2.3.4", " 1.2.3.4",  "1.2.3.0010"};
  for (const char* text : bad) {
    EXPECT_THROW(broadcastOf(text, "255.255.255.0"), EBadAddress) << "address " << text;
    EXPECT_THROW(broadcastOf("192.168.1.10", text), EBadAddress) << "mask " << text;
  }
}

TEST(AdminStatusName, Codes) {
  const std::pair<std::uint32_t, const char*> cases[] = {{1, "UP"},      {2, "DOWN"},
                                                         {3, "TESTING"}, {0, "UNKNOWN"},
                                                         {4, "UNKNOWN"}, {0xFFFFFFFF, "UNKNOWN"}};
  for (const auto& [code, name] : cases) EXPECT_EQ(adminStatusName(code), name) << code;
}

TEST(ExtractField, FieldsCountedFromZeroEmptyOnesKept) {
  struct Case {
    const char* text;
    char delimiter;
    int n;
    const char* field;
  };
  const Case cases[] = {{"a;b;c", ';', 0, "a"},   {"a;b;c", ';', 2, "c"}, {"a;;c", ';', 1, ""},
                        {"a;b;", ';', 2, ""},     {"", ';', 0, ""},       {"abc", ';', 0, "abc"},
                        {"10.0.0.1", '.', 3, "1"}};
  for (const Case& c : cases)
    EXPECT_EQ(extractField(c.text, c.delimiter, c.n), c.field) << c.text << " #" << c.n;

  EXPECT_THROW(extractField("a;b", ';', 2), EFieldMissing);
  EXPECT_THROW(extractField("", ';', 1), EFieldMissing);
  EXPECT_THROW(extractField("a;b", ';', -1), EFieldMissing);
}

TEST(FetchAdapters, RecordsInTableOrderWithFirstAddressAndState) {
  TFakeNetInterfaces net;
  TIfTable table;
  table.interfaces = {fakeIfRow(3, NetIfType::Ethernet, IfAdminUp, IfOperUp),
                      fakeIfRow(7, NetIfType::Ethernet, IfAdminDown, IfOperDown),
                      fakeIfRow(9, NetIfType::Ppp, 3, IfOperUp)};
  table.interfaces[0].physAddress = "00-1a-2b-3c-4d-5e";
  table.interfaces[0].mtu = 1500;
  table.addresses = {{3, "192.168.1.10", "255.255.255.0"},
                     {3, "10.1.2.3", "255.255.0.0"},
                     {7, "172.16.0.1", "255.255.0.0"},
                     {12, "10.9.9.9", "255.0.0.0"}};  // its interface is not in the table
  net.table = table;

  const TAdapterTables got = fetchAdapters(net);
  ASSERT_TRUE(got.ok);
  ASSERT_EQ(got.adapters.size(), 3u);
  EXPECT_EQ(got.adapters[0].Index, 3u);
  EXPECT_EQ(got.adapters[0].Address, "192.168.1.10") << "an adapter carries its first address";
  EXPECT_EQ(got.adapters[0].Mask, "255.255.255.0");
  EXPECT_EQ(got.adapters[0].PhysAddress, "00-1a-2b-3c-4d-5e");
  EXPECT_EQ(got.adapters[0].Mtu, 1500u);
  EXPECT_EQ(got.adapters[1].Address, "172.16.0.1");
  EXPECT_EQ(got.adapters[2].Address, "") << "no IPv4 address, no Address";
  EXPECT_EQ(got.adapters[2].Mask, "");

  ASSERT_EQ(got.addresses.size(), 4u);
  const std::pair<const char*, const char*> expected[] = {{"192.168.1.255", "UP"},
                                                          {"10.1.255.255", "UP"},
                                                          {"172.16.255.255", "DOWN"},
                                                          {"10.255.255.255", " "}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(got.addresses[i].Address, table.addresses[i].address);
    EXPECT_EQ(got.addresses[i].Broadcast, expected[i].first) << i;
    EXPECT_EQ(got.addresses[i].State, expected[i].second) << i;
  }
}

// Either table missing or empty, or a row that cannot be read, fails as a whole.
TEST(FetchAdapters, FailsOnMissingEmptyOrBrokenTables) {
  std::vector<std::optional<TIfTable>> tables;
  tables.push_back(std::nullopt);
  TIfTable noInterfaces = loopbackAndEthernet();
  noInterfaces.interfaces.clear();
  tables.push_back(noInterfaces);
  TIfTable noAddresses = loopbackAndEthernet();
  noAddresses.addresses.clear();
  tables.push_back(noAddresses);
  TIfTable badMask = loopbackAndEthernet();
  badMask.addresses[1].mask = "255.255.255";
  tables.push_back(badMask);

  for (std::size_t i = 0; i < tables.size(); ++i) {
    TFakeNetInterfaces net;
    net.table = tables[i];
    const TAdapterTables got = fetchAdapters(net);
    EXPECT_FALSE(got.ok) << "case " << i;
    EXPECT_TRUE(got.adapters.empty() && got.addresses.empty()) << "case " << i;
  }
}

class InventoryTest : public LogCapture {
 protected:
  TNetworkState run(const TIfTable& table, const std::string& hostIP) {
    TFakeNetInterfaces net;
    net.table = table;
    TNetworkState state;
    state.HostIP = hostIP;
    runInterfaceInventory(net, state);
    return state;
  }
};

// Loop-back is listed as operational and differs from HostIP, so it counts as a second
// interface and logs the warning; it is never offered as an interface address.
TEST_F(InventoryTest, LoopbackAndEthernetLoggedInTableOrder) {
  const TNetworkState state = run(loopbackAndEthernet(), "192.168.1.10");
  const std::vector<std::string> expected = {"Starting network adapters info fetching....",
                                             "****************",
                                             "addr:127.0.0.1",
                                             "mask:255.0.0.0",
                                             "cast:127.255.255.255",
                                             "etat:UP",
                                             "Warning, multiple interfaces may cause trouble.",
                                             "****************",
                                             "addr:192.168.1.10",
                                             "mask:255.255.255.0",
                                             "cast:192.168.1.255",
                                             "etat:UP"};
  EXPECT_EQ(logTexts(), expected);
  EXPECT_EQ(state.InterfaceAddresses, std::vector<std::string>{"192.168.1.10"});
  EXPECT_EQ(state.BroadcastAddresses, std::vector<std::string>{"192.168.1.255"});
  EXPECT_TRUE(state.DownInterfaces.empty());
  EXPECT_TRUE(state.MultipleInterfaces);
  EXPECT_EQ(state.HostIP, "192.168.1.10") << "the inventory never changes HostIP";
}

TEST_F(InventoryTest, TwoAddressesOnOneInterfaceBothLoggedAndListed) {
  TIfTable table;
  table.interfaces = {fakeIfRow(2, NetIfType::Ethernet, IfAdminUp, IfOperUp)};
  table.addresses = {{2, "192.168.1.10", "255.255.255.0"}, {2, "10.1.2.3", "255.255.0.0"}};
  const TNetworkState state = run(table, "192.168.1.10");

  const std::vector<std::string> expected = {"Starting network adapters info fetching....",
                                             "****************",
                                             "addr:192.168.1.10",
                                             "mask:255.255.255.0",
                                             "cast:192.168.1.255",
                                             "etat:UP",
                                             "addr:10.1.2.3",
                                             "mask:255.255.0.0",
                                             "cast:10.1.255.255",
                                             "etat:UP",
                                             "Warning, multiple interfaces may cause trouble."};
  EXPECT_EQ(logTexts(), expected);
  EXPECT_EQ(state.InterfaceAddresses, (std::vector<std::string>{"192.168.1.10", "10.1.2.3"}));
  EXPECT_EQ(state.BroadcastAddresses, (std::vector<std::string>{"192.168.1.255", "10.1.255.255"}));
  EXPECT_TRUE(state.MultipleInterfaces);
}

TEST_F(InventoryTest, SingleInterfaceIsNotMultiple) {
  TIfTable table;
  table.interfaces = {fakeIfRow(2, NetIfType::Ethernet, IfAdminUp, IfOperUp)};
  table.addresses = {{2, "192.168.1.10", "255.255.255.0"}};
  const TNetworkState state = run(table, "192.168.1.10");
  EXPECT_FALSE(state.MultipleInterfaces);
  EXPECT_EQ(state.InterfaceAddresses, std::vector<std::string>{"192.168.1.10"});
}

// Administratively down but still listed as operational: logged as DOWN, listed, and remembered
// as down so that the interface check can refuse it.
TEST_F(InventoryTest, AdministrativelyDownInterface) {
  TIfTable table = loopbackAndEthernet();
  table.interfaces.push_back(fakeIfRow(5, NetIfType::Ethernet, IfAdminDown, IfOperUp));
  table.addresses.push_back({5, "192.168.3.7", "255.255.255.0"});
  const TNetworkState state = run(table, "192.168.1.10");

  const auto log = logTexts();
  EXPECT_NE(std::find(log.begin(), log.end(), "etat:DOWN"), log.end());
  EXPECT_EQ(state.DownInterfaces, std::vector<std::string>{"192.168.3.7"});
  EXPECT_EQ(state.InterfaceAddresses, (std::vector<std::string>{"192.168.1.10", "192.168.3.7"}));
}

// Interfaces that are not operational, and addresses of interfaces the table does not know,
// are neither logged nor offered.
TEST_F(InventoryTest, SkipsWhatIsNotOperational) {
  TIfTable table = loopbackAndEthernet();
  table.interfaces.push_back(fakeIfRow(4, NetIfType::Wireless, IfAdminUp, IfOperDown));
  table.addresses.push_back({4, "10.0.0.5", "255.255.255.0"});
  table.addresses.push_back({8, "10.0.8.1", "255.255.255.0"});
  const TNetworkState state = run(table, "192.168.1.10");

  for (const std::string& line : logTexts()) {
    EXPECT_EQ(line.find("10.0.0.5"), std::string::npos) << line;
    EXPECT_EQ(line.find("10.0.8.1"), std::string::npos) << line;
  }
  EXPECT_EQ(state.InterfaceAddresses, std::vector<std::string>{"192.168.1.10"});
}

// A failed fetch logs the error line and leaves the lists empty, even ones that held something.
TEST_F(InventoryTest, FailedFetchLogsErrorAndEmptiesLists) {
  TFakeNetInterfaces net;
  net.table = TIfTable{};
  TNetworkState state;
  state.HostIP = "192.168.1.10";
  state.InterfaceAddresses = {"10.0.0.1"};
  state.BroadcastAddresses = {"10.0.0.255"};
  state.DownInterfaces = {"10.0.0.1"};
  state.MultipleInterfaces = true;
  runInterfaceInventory(net, state);

  EXPECT_EQ(logTexts(), (std::vector<std::string>{"Starting network adapters info fetching....",
                                                  "\r\n*** Error retrieving adapter information"}));
  EXPECT_TRUE(state.InterfaceAddresses.empty());
  EXPECT_TRUE(state.BroadcastAddresses.empty());
  EXPECT_TRUE(state.DownInterfaces.empty());
  EXPECT_FALSE(state.MultipleInterfaces);
}

// An interface table that throws is logged with its message and start-up goes on.
TEST_F(InventoryTest, UnexpectedErrorIsLoggedWithItsText) {
  struct TThrowingNet final : INetInterfaces {
    std::optional<TIfTable> readTable() const override {
      throw std::runtime_error("netlink went away");
    }
    std::vector<std::string> resolveOwnName() const override { return {}; }
  } net;
  TNetworkState state;
  EXPECT_NO_THROW(runInterfaceInventory(net, state));
  EXPECT_EQ(logTexts(), (std::vector<std::string>{"Starting network adapters info fetching....",
                                                  "netlink went away"}));
  EXPECT_TRUE(state.InterfaceAddresses.empty());
}

TEST(GetHostIP, ResolvedNameOrFirstOperationalInterface) {
  TIfTable twoCards;
  twoCards.interfaces = {fakeIfRow(1, NetIfType::Loopback, IfAdminUp, IfOperUp),
                         fakeIfRow(2, NetIfType::Ethernet, IfAdminUp, IfOperDown),
                         fakeIfRow(3, NetIfType::Ethernet, IfAdminUp, IfOperUp),
                         fakeIfRow(4, NetIfType::Wireless, IfAdminUp, IfOperUp)};
  twoCards.addresses = {{1, "127.0.0.1", "255.0.0.0"},
                        {2, "192.168.1.10", "255.255.255.0"},
                        {4, "10.0.0.5", "255.255.255.0"}};  // index 3 has no IPv4 address
  TIfTable loopbackOnly;
  loopbackOnly.interfaces = {fakeIfRow(1, NetIfType::Loopback, IfAdminUp, IfOperUp)};
  loopbackOnly.addresses = {{1, "127.0.0.1", "255.0.0.0"}};

  struct Case {
    const char* what;
    std::vector<std::string> resolved;
    std::optional<TIfTable> table;
    const char* hostIP;
  };
  const Case cases[] = {
      {"name resolves", {"192.168.7.7"}, twoCards, "192.168.7.7"},
      {"first non-loop-back of the name", {"127.0.1.1", "192.168.7.7"}, twoCards, "192.168.7.7"},
      {"Debian /etc/hosts: loop-back only", {"127.0.1.1"}, twoCards, "10.0.0.5"},
      {"name does not resolve", {}, twoCards, "10.0.0.5"},
      {"only loop-back anywhere", {"127.0.0.1"}, loopbackOnly, "0.0.0.0"},
      {"nothing at all", {}, std::nullopt, "0.0.0.0"},
  };
  for (const Case& c : cases) {
    TFakeNetInterfaces net;
    net.ownNameAddresses = c.resolved;
    net.table = c.table;
    EXPECT_EQ(getHostIP(net), c.hostIP) << c.what;
  }
}

// On the machine running the tests: the real table goes through, and every address the
// inventory logs or offers is one this host really has.
TEST_F(LogCapture, InventoryOfThisHost) {
  TSystemNetInterfaces net;
  TNetworkState state;
  state.HostIP = getHostIP(net);
  in_addr parsed{};
  ASSERT_EQ(::inet_pton(AF_INET, state.HostIP.c_str(), &parsed), 1) << state.HostIP;
  EXPECT_NE(state.HostIP.rfind("127.", 0), 0u) << "HostIP is never a loop-back address";

  runInterfaceInventory(net, state);

  std::set<std::string> hostAddresses;
  for (const QHostAddress& address : QNetworkInterface::allAddresses())
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
      hostAddresses.insert(address.toString().toStdString());

  if (state.HostIP != "0.0.0.0") {
    EXPECT_TRUE(hostAddresses.count(state.HostIP)) << state.HostIP;
  }
  const auto log = logTexts();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "Starting network adapters info fetching....");
  for (const std::string& line : log) {
    if (line.rfind("addr:", 0) == 0) {
      EXPECT_TRUE(hostAddresses.count(line.substr(5))) << line;
    }
  }
  for (const std::string& address : state.InterfaceAddresses) {
    EXPECT_TRUE(hostAddresses.count(address)) << address;
    EXPECT_NE(address, "127.0.0.1");
  }
  EXPECT_EQ(state.InterfaceAddresses.size(), state.BroadcastAddresses.size());
}

}  // namespace
