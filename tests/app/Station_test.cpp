// The whole start-up, the commands and shutdown of the station, with a recording window: no
// widget exists in this binary (it does not link Qt Widgets).
#include "app/Station.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTcpServer>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "platform/NullRecorder.h"
#include "core/SettingsStore.h"
#include "net/NetworkWait.h"
#include "tests/app/RecordingStationWindow.h"
#include "tests/app/StationTestSupport.h"

namespace {

class StationTest : public ::testing::Test, public TStationFixture {
 protected:
  std::unique_ptr<TStation> start(std::uint16_t port = 0) {
    auto station = std::make_unique<TStation>(services(port), window);
    station->runStartUp();
    return station;
  }
  std::vector<QTimer*> timers(const TStation& station) const {
    return {station.discoveryTimer(), station.watchdogTimer(), station.recordingClockTimer(),
            station.listenCooldownTimer()};
  }

  TRecordingStationWindow window;
};

}  // namespace

// A normal start: the listener serves, the timers run, the stream buttons wait for a stream,
// and the steps ran in their order.
TEST_F(StationTest, NormalStartRunsEveryStepInOrder) {
  chooseInterface("192.168.1.10", "\"SysButtons\"=dword:00000001\r\n");
  auto station = start();
  EXPECT_FALSE(station->terminationRequested());
  ASSERT_NE(station->listener(), nullptr);
  EXPECT_TRUE(station->listener()->active());
  EXPECT_TRUE(dialogs.shown.empty() ||
              dialogs.shown.front().text.find("HTTPS") != std::string::npos);
  EXPECT_EQ(station->HostIP(), "192.168.1.10");
  EXPECT_TRUE(station->discoveryTimer()->isActive());
  EXPECT_TRUE(station->watchdogTimer()->isActive());
  EXPECT_FALSE(station->recordingClockTimer()->isActive());
  EXPECT_TRUE(station->listenCooldownTimer()->isActive());
  EXPECT_FALSE(window.enabled[EVideoControl::StopButton]);
  EXPECT_FALSE(window.enabled[EVideoControl::SnapshotButton]);
  EXPECT_FALSE(window.visible[EVideoControl::PanelCaption]);
  EXPECT_TRUE(window.systemButtons) << "the border icons follow SysButtons";
  EXPECT_EQ(window.textsApplied, 1);
  EXPECT_FALSE(window.minimised);

  std::vector<std::string> order = {
      "Version 1.1.0.7", "Starting network adapters info fetching....", "Socket active port 2201",
      "Registry keys successfully loaded", "Setting language to FR"};
  std::vector<std::string> texts = captured.texts();
  auto at = texts.begin();
  for (const std::string& step : order) {
    at = std::find(at, texts.end(), step);
    EXPECT_NE(at, texts.end()) << "missing or out of order: " << step;
  }
}

struct THostCase {
  const char* fault;
  std::vector<std::string> ownName;
  std::optional<TIfTable> table;
};

// Without a usable host address nothing may be started: no listener, no timers, and the
// program ends after telling the user.
TEST_F(StationTest, UnusableHostAddressEndsTheProgram) {
  TIfTable loopbackOnly;
  loopbackOnly.interfaces = {fakeIfRow(1, NetIfType::Loopback)};
  loopbackOnly.addresses = {{1, "127.0.0.1", "255.0.0.0"}};
  const THostCase cases[] = {
      {"a name that resolves only to loopback on a loopback-only host",
       {"127.0.0.1"},
       loopbackOnly},
      {"a name that does not resolve and no interface table", {}, std::nullopt},
  };
  for (const THostCase& c : cases) {
    SCOPED_TRACE(c.fault);
    dialogs = TRecordingDialogs{};
    net.ownNameAddresses = c.ownName;
    net.table = c.table;
    auto station = start();
    EXPECT_TRUE(station->terminationRequested());
    EXPECT_EQ(station->listener(), nullptr);
    for (QTimer* timer : timers(*station)) EXPECT_EQ(timer, nullptr);
    ASSERT_EQ(dialogTexts(), std::vector<std::string>{"Ostrel Stream: Network error"});
    EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::Error);
    EXPECT_FALSE(captured.contains("Socket active port 2201"));
  }
}

// A second copy cannot have the port: it says so and ends, and the first copy keeps serving.
TEST_F(StationTest, PortInUseEndsTheSecondCopy) {
  QTcpServer firstCopy;
  ASSERT_TRUE(firstCopy.listen(QHostAddress::AnyIPv4, 0));
  auto station = start(firstCopy.serverPort());
  EXPECT_TRUE(station->terminationRequested());
  EXPECT_EQ(station->listener(), nullptr);
  EXPECT_EQ(station->discoveryTimer(), nullptr);
  EXPECT_EQ(station->watchdogTimer(), nullptr);
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_EQ(dialogs.shown.back().text, "Ostrel Stream: Socket en cours d'utilisation.");
  EXPECT_EQ(dialogs.shown.back().icon, EDialogIcon::Error);
  EXPECT_TRUE(captured.contains("Socket failed port 2201"));
  EXPECT_FALSE(captured.contains("Registry keys successfully loaded"));
  EXPECT_TRUE(firstCopy.isListening());
}

// Several interfaces and none chosen: the user is told, and the periodic work stays off while
// the listener still serves; then the settings window opens on the interfaces list.
TEST_F(StationTest, UnchosenInterfaceRunsDegraded) {
  net.table->interfaces.push_back(fakeIfRow(3, NetIfType::Wireless));
  net.table->addresses.push_back({3, "10.0.0.7", "255.255.255.0"});
  auto station = start();
  EXPECT_FALSE(station->terminationRequested());
  EXPECT_TRUE(station->listener()->active());
  for (QTimer* timer : timers(*station)) EXPECT_EQ(timer, nullptr);
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_EQ(dialogs.shown.front().icon, EDialogIcon::None);
  EXPECT_EQ(dialogs.shown.front().text.rfind("Attention, plusieurs interfaces", 0), 0u);
  EXPECT_EQ(window.interfaceSettingsOpened, 0) << "not from inside start-up";
  EXPECT_TRUE(waitUntil([&] { return window.interfaceSettingsOpened == 1; }));
  EXPECT_TRUE(settings.interfaceSelected.empty());
}

// First start on a host with one interface: it is chosen, stored and logged; the loopback
// address is no second interface, and a down interface is no choice.
TEST_F(StationTest, FirstStartChoosesTheOnlyInterface) {
  struct TCase {
    const char* fault;
    std::vector<TIfRow> extraRows;
    std::vector<TIpAddrRow> extraAddresses;
  };
  const TCase cases[] = {
      {"loopback and one Ethernet interface", {}, {}},
      {"a second loopback address is still loopback", {}, {{1, "127.0.0.2", "255.0.0.0"}}},
      {"an interface that is not running is no choice",
       {fakeIfRow(3, NetIfType::Ethernet, IfAdminDown, IfOperDown)},
       {{3, "10.0.0.7", "255.255.255.0"}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TStationFixture fresh;
    for (const TIfRow& row : c.extraRows) fresh.net.table->interfaces.push_back(row);
    for (const TIpAddrRow& row : c.extraAddresses) fresh.net.table->addresses.push_back(row);
    TRecordingStationWindow freshWindow;
    TStation station(fresh.services(0), freshWindow);
    station.runStartUp();
    EXPECT_FALSE(station.terminationRequested());
    EXPECT_EQ(fresh.settings.interfaceSelected, "192.168.1.10");
    EXPECT_EQ(station.HostIP(), "192.168.1.10");
    EXPECT_TRUE(station.watchdogTimer() != nullptr && station.watchdogTimer()->isActive())
        << "a chosen interface is a full start";
    for (const std::string& text : fresh.dialogTexts())
      EXPECT_EQ(text.find("plusieurs interfaces"), std::string::npos) << text;
    EXPECT_TRUE(fresh.captured.contains(
        "Network interface chosen, the only one on this host: 192.168.1.10"));
    // Stored: the next start reads it like a choice the user made.
    TAppSettings reread;
    bool ssl = false;
    TSettingsStore(fresh.dir.path().toStdString() + "/config/Halvex/HalvexStream.reg", reread, ssl)
        .loadSettings();
    EXPECT_EQ(reread.interfaceSelected, "192.168.1.10");
    pumpEvents(std::chrono::milliseconds(20));
    EXPECT_EQ(freshWindow.interfaceSettingsOpened, 0);
  }
}

// Started with the session before the network is up: the program waits for an address, up to
// a minute, with its small window; started by hand it says "Network error" at once.
TEST_F(StationTest, LateNetworkIsWaitedForOnlyWhenStartedWithTheSession) {
  const TIfTable up = *net.table;
  TIfTable loopbackOnly;
  loopbackOnly.interfaces = {fakeIfRow(1, NetIfType::Loopback)};
  loopbackOnly.addresses = {{1, "127.0.0.1", "255.0.0.0"}};
  struct TCase {
    const char* fault;
    bool autostart;
    std::function<void(TStationFixture&)> meanwhile;  // while the station waits
    bool started;
    std::vector<bool> waitWindow;
  };
  const TCase cases[] = {
      {"the address comes after start-up began",
       true,
       [&](TStationFixture& f) {
         f.clock.advance(std::chrono::seconds(20));
         f.net.table = up;
       },
       true,
       {true, false}},
      {"a minute without an address ends in the Network error",
       true,
       [](TStationFixture& f) { f.clock.advance(TNetworkWait::Limit); },
       false,
       {true, false}},
      {"started by hand: no waiting", false, [](TStationFixture&) {}, false, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TStationFixture f;
    f.chooseInterface("192.168.1.10");
    f.net.table = loopbackOnly;
    TStationServices services = f.services(0);
    services.startedByAutostart = c.autostart;
    TRecordingStationWindow w;
    TStation station(services, w);
    QTimer::singleShot(300, [&] { c.meanwhile(f); });
    station.runStartUp();
    EXPECT_EQ(w.networkWaits, c.waitWindow);
    EXPECT_EQ(station.terminationRequested(), !c.started);
    if (c.started) {
      EXPECT_TRUE(f.dialogTexts().empty() ||
                  f.dialogTexts().front().find("HTTPS") != std::string::npos);
      EXPECT_EQ(station.HostIP(), "192.168.1.10");
      EXPECT_TRUE(station.listener() != nullptr && station.listener()->active());
    } else {
      EXPECT_EQ(f.dialogTexts(), std::vector<std::string>{"Ostrel Stream: Network error"});
    }
    pumpEvents(std::chrono::milliseconds(350));  // the unused single shot runs here
  }
}

// The title, the text over the video and where a snapshot went reach the window.
TEST_F(StationTest, WindowShowsTheStreamState) {
  chooseInterface("192.168.1.10");
  auto station = start();
  station->onStatusTick();
  EXPECT_EQ(window.title, "Ostrel Stream");
  EXPECT_EQ(window.status, "");
  // Port 1 on loopback refuses: the stream stays wanted and keeps "connecting".
  station->streams().setTarget({"127.0.0.1", "Hall", "admin", "pw", "1"});
  station->launchStream();
  station->onStatusTick();
  EXPECT_EQ(window.title, "Ostrel Stream - Hall");
  EXPECT_EQ(window.status, "Connexion...");
  EXPECT_EQ(window.statistics, "") << "statistics only on demand";
  station->setStatisticsShown(true);
  EXPECT_NE(window.statistics.find("Platine: 127.0.0.1"), std::string::npos) << window.statistics;
  station->stopStream();
  station->onStatusTick();
  EXPECT_EQ(window.title, "Ostrel Stream");
  EXPECT_EQ(window.status, "");

  ASSERT_TRUE(station->display().onSnapshotClicked());
  ASSERT_EQ(window.snapshotsTold.size(), 1u);
  EXPECT_EQ(window.snapshotsTold[0].rfind(captured.folder(), 0), 0u) << window.snapshotsTold[0];
}

struct TTempCase {
  const char* fault;
  std::string moreSettings;
  mode_t mode;  // of the fallback folder planted before start
  std::string reason;
};

// A refused fallback temporary folder means no log file and no snapshot for the whole run:
// the user must be told once, in their language, and the terminal too.
TEST_F(StationTest, RefusedTempFolderIsToldOnceAtStartUp) {
  const std::vector<TTempCase> cases = {
      {"a folder others can reach, told in French", "", 0777, "d'autres utilisateurs y ont acc"},
      {"the same in English", "\"language\"=\"EN\"\r\n", 0755, "other users can access it"},
  };
  for (const TTempCase& c : cases) {
    SCOPED_TRACE(c.fault);
    dialogs.shown.clear();
    QTemporaryDir shared;
    const std::string folder =
        shared.path().toStdString() + "/ostrel-stream-" + std::to_string(::getuid());
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.c_str(), c.mode), 0);
    env.values.erase("TMP");
    chooseInterface("192.168.1.10", c.moreSettings);
    TStationServices s = services();
    s.sharedTemp = shared.path().toStdString();

    ::testing::internal::CaptureStderr();
    {
      TStation station(s, window);
      station.runStartUp();
      EXPECT_FALSE(station.terminationRequested());
    }
    const std::string err = ::testing::internal::GetCapturedStderr();

    std::vector<TRecordingDialogs::TShown> told;
    for (const auto& shown : dialogs.shown)
      if (shown.text.find(folder) != std::string::npos) told.push_back(shown);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].text.find(c.reason), std::string::npos) << told[0].text;
    EXPECT_EQ(told[0].icon, EDialogIcon::Warning);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(folder + " is refused (other users can access it)"), std::string::npos)
        << err;
  }
}

struct TDateCase {
  int month, day;
  bool festive;
};

// The festive idle picture from 24 to 31 December, chosen once at start.
TEST_F(StationTest, IdlePictureFollowsTheDateAtStart) {
  chooseInterface("192.168.1.10");
  const TDateCase cases[] = {
      {12, 23, false}, {12, 24, true}, {12, 31, true}, {1, 1, false}, {6, 24, false}};
  for (const TDateCase& c : cases) {
    clock.local = TLocalTime{2026, c.month, c.day, 23, 59, 0};
    window.picture.reset();
    auto station = start();
    EXPECT_EQ(station->display().festive(), c.festive) << c.month << "/" << c.day;
    ASSERT_TRUE(window.picture);
    EXPECT_GT(window.picture->size(), 1000u);
  }
}

// Quit stops listening and ends the loop; Debug switches the display and says so.
TEST_F(StationTest, QuitAndDebugCommands) {
  chooseInterface("192.168.1.10");
  auto station = start();
  station->onDebugTriggered();
  EXPECT_TRUE(captured.log().display());
  EXPECT_EQ(captured.texts().back(), "Debug displayed");
  station->onDebugTriggered();
  EXPECT_FALSE(captured.log().display());
  station->onQuitTriggered();
  EXPECT_FALSE(station->listener()->active());
  EXPECT_TRUE(station->terminationRequested());
  EXPECT_FALSE(window.enabled[EVideoControl::StopButton]);
}

// startMinimized and ONTop from the settings file reach the window at start.
TEST_F(StationTest, StartSwitchesReachTheWindow) {
  chooseInterface("192.168.1.10",
                  "\"startMinimized\"=dword:00000001\r\n\"ONTop\"=dword:00000001\r\n");
  auto station = start();
  EXPECT_TRUE(window.minimised);
  EXPECT_TRUE(window.onTopFlag);
  EXPECT_TRUE(window.topmost);
}

// Closing the window: the sockets go and nothing is restarted; commands after it are harmless.
TEST_F(StationTest, CloseReleasesTheSockets) {
  chooseInterface("192.168.1.10");
  auto station = start();
  station->onCloseRequested();
  EXPECT_EQ(station->listener(), nullptr);
  EXPECT_EQ(station->outgoingClient(), nullptr);
  EXPECT_TRUE(station->terminationRequested());
  settings.platines = "192.168.1.20";
  station->onFavouriteClicked();
  EXPECT_TRUE(
      captured.contains("Favourite stream request for 192.168.1.20 not sent: no outgoing client"));
}

// The relay button: nothing stored, nothing sent and the user told; a panel that cannot open
// the door leaves the button busy, then failed, then plain again, and never successful.
TEST_F(StationTest, RelayClickShowsItsOutcomeOnTheButton) {
  chooseInterface("192.168.1.10");
  auto station = start();
  dialogs.shown.clear();
  station->onRelayClicked();
  ASSERT_EQ(dialogTexts().size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, kNoStoredAddress);
  EXPECT_TRUE(window.relayLooks.empty()) << "nothing was sent";

  // Port 80 of this address either refuses the connection or is no panel: both are failures.
  settings.platines = "127.0.0.1";
  settings.priority = 0;
  settings.APIAuthtype = "None";
  settings.APIMethod = "GET";
  station->onRelayClicked();
  ASSERT_FALSE(window.relayLooks.empty());
  EXPECT_EQ(window.relayLooks[0], "busy");
  ASSERT_TRUE(waitUntil([&] { return window.relayLooks.size() >= 2; }, std::chrono::seconds(30)));
  EXPECT_EQ(window.relayLooks[1].rfind("failure", 0), 0u) << window.relayLooks[1];
  EXPECT_TRUE(waitUntil([&] { return window.relayLooks.size() >= 3; }, std::chrono::seconds(10)));
  EXPECT_EQ(window.relayLooks.back(), "plain") << "the outcome is shown for a while only";
}

// The voice-message button: the 10 ms clock runs only while recording and the label follows
// the station's clock; the second press sends the message to the favourite panel, whose
// outcome the button shows.
TEST_F(StationTest, VoiceMessageRunsTheRecordingClockAndSendsTheMessage) {
  chooseInterface("192.168.1.10");
  TRecorderRegistry recorders;
  recorders.add({"null", 0, [this] { return std::make_unique<TNullRecorder>(clock); }});
  TStationServices withRecorder = services();
  withRecorder.recorders = &recorders;
  TStation station(withRecorder, window);
  station.runStartUp();
  settings.APIMethod = "POST";
  settings.APIAuthtype = "None";
  settings.platines = "127.0.0.1";
  settings.priority = 0;
  dialogs.shown.clear();

  station.onVoiceMessageClicked();
  ASSERT_TRUE(station.voiceMessage().recording());
  EXPECT_TRUE(station.recordingClockTimer()->isActive());
  EXPECT_EQ(station.recordingClockTimer()->interval(), 10);
  clock.advance(std::chrono::milliseconds(10));
  ASSERT_TRUE(waitUntil(
      [&] { return !window.voiceLooks.empty() && window.voiceLooks.back().clock == "0.01s"; }));
  clock.advance(std::chrono::seconds(1));
  station.onVoiceMessageClicked();
  EXPECT_FALSE(station.recordingClockTimer()->isActive());
  EXPECT_EQ(readFileBytes(captured.folder() + "/ostrel-output.wav").size(), 44u + 8080u);
  EXPECT_EQ(window.voiceLooks.back().state, EVoiceState::Uploading);
  // Port 80 of loopback refuses or is no panel: either way a failure, then plain again.
  ASSERT_TRUE(waitUntil([&] { return window.voiceLooks.back().state == EVoiceState::Failure; },
                        std::chrono::seconds(30)));
  EXPECT_TRUE(waitUntil([&] { return window.voiceLooks.back().state == EVoiceState::Idle; }));
  EXPECT_TRUE(dialogs.shown.empty());
}
