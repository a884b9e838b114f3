#include "net/InterfaceCheck.h"

#include <gtest/gtest.h>

#include <optional>

#include "core/AppSettings.h"
#include "core/DebugLog.h"
#include "core/UiTexts.h"
#include "net/NetworkWait.h"
#include "tests/support/Fakes.h"

namespace {

// Loop-back, an Ethernet card at 192.168.1.10/24, a second card at 10.0.0.5/24, and a card at
// 192.168.3.7/24 that is administratively down while still listed as operational.
TIfTable hostTable(bool withSecondCard, bool withDownCard) {
  TIfTable table;
  table.interfaces = {fakeIfRow(1, NetIfType::Loopback, IfAdminUp),
                      fakeIfRow(2, NetIfType::Ethernet, IfAdminUp)};
  table.addresses = {{1, "127.0.0.1", "255.0.0.0"}, {2, "192.168.1.10", "255.255.255.0"}};
  if (withSecondCard) {
    table.interfaces.push_back(fakeIfRow(3, NetIfType::Ethernet, IfAdminUp));
    table.addresses.push_back({3, "10.0.0.5", "255.255.255.0"});
  }
  if (withDownCard) {
    table.interfaces.push_back(fakeIfRow(5, NetIfType::Ethernet, IfAdminDown));
    table.addresses.push_back({5, "192.168.3.7", "255.255.255.0"});
  }
  return table;
}

// Runs the start-up network steps in their order against a given table and records what the
// user would see and when the timers were released relative to it.
class StartupNetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_log.startUp();
    installDebugLog(&m_log);
    setLanguage("FR");
  }
  void TearDown() override {
    installDebugLog(nullptr);
    UiTexts = TUiTexts{};
    AppSettings = TAppSettings{};
  }

  EInterfaceCheck start(const TIfTable& table, const std::vector<std::string>& ownName,
                        const std::string& interfaceSelected) {
    m_net.table = table;
    m_net.ownNameAddresses = ownName;
    EXPECT_TRUE(hostAddressCheck(m_net, m_state, m_dialogs, releaseTimers()));
    runInterfaceInventory(m_net, m_state);
    return interfaceCheck(interfaceSelected, m_state, m_dialogs, releaseTimers());
  }

  std::function<void()> releaseTimers() {
    return [this] {
      ++m_timersReleased;
      m_dialogsAtRelease = m_dialogs.shown.size();
    };
  }

  TFakeClock m_clock;
  TDebugLog m_log{m_clock, [] { return std::optional<std::string>(); }};
  TFakeNetInterfaces m_net;
  TNetworkState m_state;
  TRecordingDialogs m_dialogs;
  int m_timersReleased = 0;
  std::size_t m_dialogsAtRelease = 0;
};

// Nothing selected on a host with one card: loop-back still counts as a second interface, so
// the plain box is shown, after the timers were released.
TEST_F(StartupNetworkTest, NothingSelectedWithLoopbackWarnsOfMultipleInterfaces) {
  EXPECT_EQ(start(hostTable(false, false), {"192.168.1.10"}, ""),
            EInterfaceCheck::MultipleInterfaces);
  ASSERT_EQ(m_dialogs.shown.size(), 1u);
  EXPECT_EQ(m_dialogs.shown[0].text, UiTexts.msgMultipleInterfaces);
  EXPECT_EQ(m_dialogs.shown[0].icon, EDialogIcon::None);
  EXPECT_EQ(m_dialogs.shown[0].buttons, EDialogButtons::Ok);
  EXPECT_EQ(m_timersReleased, 1);
  EXPECT_EQ(m_dialogsAtRelease, 0u) << "timers are released before the box waits for the user";
  EXPECT_EQ(m_state.InterfaceAddresses, std::vector<std::string>{"192.168.1.10"});
  EXPECT_EQ(m_state.HostIP, "192.168.1.10");
}

TEST_F(StartupNetworkTest, ValidSelectionNarrowsListsAndSetsHostIP) {
  EXPECT_EQ(start(hostTable(true, false), {"10.0.0.5"}, "192.168.1.10"), EInterfaceCheck::Narrowed);
  EXPECT_TRUE(m_dialogs.shown.empty());
  EXPECT_EQ(m_timersReleased, 0);
  EXPECT_EQ(m_state.InterfaceAddresses, std::vector<std::string>{"192.168.1.10"});
  EXPECT_EQ(m_state.BroadcastAddresses, std::vector<std::string>{"192.168.1.255"});
  EXPECT_EQ(m_state.HostIP, "192.168.1.10") << "replaces the address the name resolved to";
}

// Refused selections: an address the host does not have, the loop-back address (never offered),
// and a listed address whose interface is administratively down. The warning is in the
// language chosen before the check.
TEST_F(StartupNetworkTest, UnavailableSelectionWarnsAndReleasesTimers) {
  for (const char* selected : {"192.168.2.50", "127.0.0.1", "192.168.3.7"}) {
    SCOPED_TRACE(selected);
    m_state = TNetworkState{};
    m_dialogs.shown.clear();
    m_timersReleased = 0;
    setLanguage("EN");

    EXPECT_EQ(start(hostTable(true, true), {"192.168.1.10"}, selected),
              EInterfaceCheck::InterfaceUnavailable);
    ASSERT_EQ(m_dialogs.shown.size(), 1u);
    EXPECT_EQ(m_dialogs.shown[0].text,
              "Warning, the default network interface is down or not configured on your system, "
              "please check your settings in Tools/ Settings/ Priority address/ Network "
              "Interface(s)");
    EXPECT_EQ(m_dialogs.shown[0].icon, EDialogIcon::Warning);
    EXPECT_EQ(m_timersReleased, 1);
    EXPECT_EQ(m_dialogsAtRelease, 0u);
    EXPECT_EQ(m_state.HostIP, "192.168.1.10") << "a refused selection changes nothing";
    EXPECT_EQ(m_state.InterfaceAddresses,
              (std::vector<std::string>{"192.168.1.10", "10.0.0.5", "192.168.3.7"}));
  }
}

TEST_F(StartupNetworkTest, SingleInterfaceNothingSelectedChangesNothing) {
  TIfTable table;
  table.interfaces = {fakeIfRow(2, NetIfType::Ethernet, IfAdminUp)};
  table.addresses = {{2, "192.168.1.10", "255.255.255.0"}};
  EXPECT_EQ(start(table, {"192.168.1.10"}, ""), EInterfaceCheck::Unchanged);
  EXPECT_TRUE(m_dialogs.shown.empty());
  EXPECT_EQ(m_timersReleased, 0);
  EXPECT_EQ(m_state.InterfaceAddresses, std::vector<std::string>{"192.168.1.10"});
}

// The same address listed twice (two interfaces, different masks): the last pair wins.
TEST_F(StartupNetworkTest, DuplicateAddressKeepsTheLastBroadcast) {
  m_state.InterfaceAddresses = {"10.0.0.5", "192.168.1.10", "10.0.0.5"};
  m_state.BroadcastAddresses = {"10.0.0.255", "192.168.1.255", "10.0.255.255"};
  EXPECT_EQ(interfaceCheck("10.0.0.5", m_state, m_dialogs, releaseTimers()),
            EInterfaceCheck::Narrowed);
  EXPECT_EQ(m_state.BroadcastAddresses, std::vector<std::string>{"10.0.255.255"});
}

// No usable address: the timers go, the error box is shown, and the caller is told to stop.
TEST_F(StartupNetworkTest, HostWithoutAddressIsRefused) {
  TIfTable loopbackOnly;
  loopbackOnly.interfaces = {fakeIfRow(1, NetIfType::Loopback, IfAdminUp)};
  loopbackOnly.addresses = {{1, "127.0.0.1", "255.0.0.0"}};
  m_net.table = loopbackOnly;
  m_net.ownNameAddresses = {"127.0.1.1"};

  EXPECT_FALSE(hostAddressCheck(m_net, m_state, m_dialogs, releaseTimers()));
  EXPECT_EQ(m_state.HostIP, "0.0.0.0");
  EXPECT_EQ(m_timersReleased, 1);
  ASSERT_EQ(m_dialogs.shown.size(), 1u);
  EXPECT_EQ(m_dialogs.shown[0].text, "Ostrel Stream: Network error");
  EXPECT_EQ(m_dialogs.shown[0].icon, EDialogIcon::Error);
  EXPECT_EQ(m_dialogs.shown[0].buttons, EDialogButtons::Ok);
}

TEST(IsUsableHostIP, OnlyTheTwoNoNetworkAddressesAreRefused) {
  EXPECT_FALSE(isUsableHostIP("127.0.0.1"));
  EXPECT_FALSE(isUsableHostIP("0.0.0.0"));
  EXPECT_TRUE(isUsableHostIP("192.168.1.10"));
}

}  // namespace

namespace {

// The first start's choice from the real inventory: one card is chosen, several are not, and
// loop-back (any 127.x address) and a card that is down never count.
TEST_F(StartupNetworkTest, FirstStartChoosesTheOnlyUsableInterface) {
  TIfTable loopbackOnly;
  loopbackOnly.interfaces = {fakeIfRow(1, NetIfType::Loopback, IfAdminUp)};
  loopbackOnly.addresses = {{1, "127.0.0.1", "255.0.0.0"}, {1, "127.0.1.1", "255.0.0.0"}};
  TIfTable twiceListed = hostTable(false, false);
  twiceListed.addresses.push_back({2, "192.168.1.10", "255.255.255.0"});
  struct TCase {
    const char* fault;
    TIfTable table;
    std::optional<std::string> chosen;
  };
  const TCase cases[] = {
      {"one card beside loop-back", hostTable(false, false), "192.168.1.10"},
      {"two cards: the user must choose", hostTable(true, false), std::nullopt},
      {"a card that is down is no choice", hostTable(false, true), "192.168.1.10"},
      {"the same address listed twice is one interface", twiceListed, "192.168.1.10"},
      {"loop-back only", loopbackOnly, std::nullopt},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    m_state = TNetworkState{};
    m_net.table = c.table;
    m_state.HostIP = getHostIP(m_net);
    runInterfaceInventory(m_net, m_state);
    EXPECT_EQ(soleInterface(m_state), c.chosen);
  }
}

// The wait for a late network: ready as soon as an address appears, given up after a minute.
TEST(NetworkWait, ReadyWhenAnAddressAppearsGivenUpAfterAMinute) {
  TFakeClock clock;
  TFakeNetInterfaces net;
  TIfTable loopbackOnly;
  loopbackOnly.interfaces = {fakeIfRow(1, NetIfType::Loopback)};
  loopbackOnly.addresses = {{1, "127.0.0.1", "255.0.0.0"}};
  net.table = loopbackOnly;
  net.ownNameAddresses = {"127.0.1.1"};
  TNetworkWait wait(net, clock);
  EXPECT_EQ(wait.poll(), TNetworkWait::EState::Waiting);
  clock.advance(TNetworkWait::Limit - std::chrono::milliseconds(1));
  EXPECT_EQ(wait.poll(), TNetworkWait::EState::Waiting);
  net.table = hostTable(false, false);
  EXPECT_EQ(wait.poll(), TNetworkWait::EState::Ready);
  EXPECT_EQ(wait.hostIP(), "192.168.1.10");

  TNetworkWait late(net, clock);
  net.table = loopbackOnly;
  clock.advance(TNetworkWait::Limit);
  EXPECT_EQ(late.poll(), TNetworkWait::EState::GaveUp);
  net.table = hostTable(false, false);
  EXPECT_EQ(late.poll(), TNetworkWait::EState::Ready) << "an address is never refused";
}

}  // namespace
