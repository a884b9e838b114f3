// The alerts of a call that arrives while the window is down, with recording doubles for the
// notifier, the screen saver and the tray, and the ring on the null sound output.
#include "app/CallAlerts.h"

#include <gtest/gtest.h>

#include "core/UiTexts.h"
#include "platform/NullWaveOut.h"
#include "tests/support/QtTestSupport.h"

namespace {

class TRecordingNotifier : public IDesktopNotifier {
 public:
  std::vector<TDesktopNotification> shown;
  int withdrawn = 0;
  std::function<void(const std::string&)> onAction;
  void notify(const TDesktopNotification& n) override { shown.push_back(n); }
  void withdraw() override { ++withdrawn; }
  void setOnAction(std::function<void(const std::string&)> f) override { onAction = std::move(f); }
};

class TRecordingScreenSaver : public IScreenSaver {
 public:
  bool inhibited = false;
  int wakes = 0;
  void inhibit(const std::string&) override { inhibited = true; }
  void uninhibit() override { inhibited = false; }
  void wake() override { ++wakes; }
};

class TRecordingTray : public ITrayView {
 public:
  ETrayPicture picture = ETrayPicture::Idle;
  int missed = -1;
  std::string toolTip;
  std::optional<TRelayOutcome> outcome;
  void showTrayState(ETrayPicture p, int m, const std::string& t) override {
    picture = p;
    missed = m;
    toolTip = t;
  }
  void showRelayOutcome(const std::optional<TRelayOutcome>& o) override { outcome = o; }
  void applyTexts() override {}
};

IVideoWindow::TBytes bytes(std::vector<unsigned char> b) {
  return std::make_shared<const std::vector<unsigned char>>(std::move(b));
}

class TFakeHost : public ICallAlertsHost {
 public:
  bool onScreen = false;
  int attention = 0;
  std::string watched;
  IVideoWindow::TBytes picture = bytes({0xFF, 0xD8, 'i', 'd', 'l', 'e'});
  bool detected = false;
  bool live = false;
  bool windowOnScreen() const override { return onScreen; }
  void requestAttention() override { ++attention; }
  std::string watchedPanel() const override { return watched; }
  IVideoWindow::TBytes shownPicture() const override { return picture; }
  bool panelDetected() const override { return detected; }
  bool liveAudioPlaying() const override { return live; }
};

class CallAlertsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    setLanguage("EN");
    alerts.setTrayView(&tray);
  }
  void TearDown() override { setLanguage("FR"); }
  // The stream controller's side of a shown call: the stream is wanted from the panel.
  void callShown(const std::string& panel = "10.0.0.5") {
    host.watched = panel;
    alerts.callAdmitted(panel, "hall@sip", ECallAdmitted::Shown);
  }
  void callEnds(const std::string& panel = "10.0.0.5") {
    host.watched.clear();
    alerts.callEnded(panel);
  }

  TAppSettings settings;
  TFakeHost host;
  TRecordingNotifier notifier;
  TRecordingScreenSaver screenSaver;
  TRecordingTray tray;
  TNullWaveOutSystem sound;
  TCallAlerts alerts{settings, host, notifier, screenSaver, std::make_unique<TRing>(sound)};
};

TEST_F(CallAlertsTest, ACallShownWhileTheWindowIsDownIsNotifiedWithItsFirstPicture) {
  callShown();
  EXPECT_EQ(host.attention, 1);
  EXPECT_TRUE(alerts.ring()->playing());
  EXPECT_EQ(screenSaver.wakes, 1);
  EXPECT_TRUE(screenSaver.inhibited);
  EXPECT_EQ(tray.picture, ETrayPicture::CallInProgress);
  pumpEvents(std::chrono::milliseconds(200));
  EXPECT_TRUE(notifier.shown.empty()) << "the notification waits for the call's own picture";

  const auto frame = bytes({0xFF, 0xD8, 'f', 'r', 'a', 'm', 'e'});
  host.picture = frame;
  ASSERT_TRUE(waitUntil([&] { return notifier.shown.size() == 1; }));
  const TDesktopNotification& n = notifier.shown[0];
  EXPECT_EQ(n.summary, "Call from hall@sip");
  EXPECT_EQ(n.body, "Panel 10.0.0.5");
  EXPECT_EQ(n.jpeg, *frame);
  ASSERT_EQ(n.actions.size(), 2u);
  EXPECT_EQ(n.actions[0], (std::pair<std::string, std::string>{"show", "Show"}));
  EXPECT_EQ(n.actions[1], (std::pair<std::string, std::string>{"open-door", "Open the door"}));

  callEnds();
  EXPECT_FALSE(screenSaver.inhibited);
  EXPECT_EQ(tray.picture, ETrayPicture::MissedCalls);
  EXPECT_EQ(tray.missed, 1);
  EXPECT_EQ(tray.toolTip, "Ostrel Stream\nLast caller: hall@sip\nMissed calls: 1");
  alerts.journalOpened();
  EXPECT_EQ(tray.picture, ETrayPicture::Idle);
  EXPECT_EQ(tray.missed, 0);
}

TEST_F(CallAlertsTest, ACallShownWhileTheWindowIsUpOnlyKeepsTheScreenSaverOff) {
  host.onScreen = true;
  callShown();
  host.picture = bytes({0xFF, 0xD8, 'f'});
  pumpEvents(std::chrono::milliseconds(300));
  EXPECT_TRUE(notifier.shown.empty());
  EXPECT_EQ(host.attention, 0);
  EXPECT_FALSE(alerts.ring()->playing());
  EXPECT_TRUE(screenSaver.inhibited);
  callEnds();
  EXPECT_FALSE(screenSaver.inhibited);
  EXPECT_EQ(alerts.state().missedCount(), 0);
}

TEST_F(CallAlertsTest, WithoutAPictureInTimeTheNotificationGoesWithoutOne) {
  callShown();
  ASSERT_TRUE(waitUntil([&] { return notifier.shown.size() == 1; },
                        std::chrono::milliseconds(TCallAlerts::FirstPictureWaitMs * 5)));
  EXPECT_TRUE(notifier.shown[0].jpeg.empty());
}

TEST_F(CallAlertsTest, ACallEndedBeforeItsPictureIsNotifiedAtOnce) {
  callShown();
  callEnds();
  ASSERT_EQ(notifier.shown.size(), 1u);
  EXPECT_TRUE(notifier.shown[0].jpeg.empty());
  pumpEvents(std::chrono::milliseconds(200));
  EXPECT_EQ(notifier.shown.size(), 1u);
}

TEST_F(CallAlertsTest, ACallerPutOnTheWaitListIsNotNotifiedButCanBeMissed) {
  host.onScreen = false;
  host.watched = "10.0.0.9";  // another panel is being watched
  alerts.callAdmitted("10.0.0.5", "gate@sip", ECallAdmitted::Waited);
  pumpEvents(std::chrono::milliseconds(200));
  EXPECT_TRUE(notifier.shown.empty());
  EXPECT_FALSE(alerts.ring()->playing());
  alerts.callEnded("10.0.0.5");
  EXPECT_EQ(alerts.state().missedCount(), 1);
}

struct TRingCase {
  const char* name;
  bool ringSetting;
  bool livePlaying;
  bool rings;
};

class CallAlertsRing : public CallAlertsTest, public ::testing::WithParamInterface<TRingCase> {};

TEST_P(CallAlertsRing, RingsOnlyWhenAskedForAndNeverOverTheLiveSound) {
  settings.ring = GetParam().ringSetting;
  host.live = GetParam().livePlaying;
  callShown();
  EXPECT_EQ(alerts.ring()->playing(), GetParam().rings);
}

INSTANTIATE_TEST_SUITE_P(Cases, CallAlertsRing,
                         ::testing::Values(TRingCase{"On", true, false, true},
                                           TRingCase{"Off", false, false, false},
                                           TRingCase{"LiveSoundPlays", true, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CallAlertsTest, TheLiveSoundStartingStopsTheRing) {
  callShown();
  ASSERT_TRUE(alerts.ring()->playing());
  host.live = true;
  alerts.update();
  EXPECT_FALSE(alerts.ring()->playing());
}

TEST_F(CallAlertsTest, TheNotificationsButtonsReachTheirCommandsAfterTheBusHandler) {
  int shown = 0, doors = 0;
  alerts.onShowRequested = [&] { ++shown; };
  alerts.onOpenDoorRequested = [&] { ++doors; };
  notifier.onAction("open-door");
  EXPECT_EQ(doors, 0) << "queued: a relay's message box must not open inside the handler";
  ASSERT_TRUE(waitUntil([&] { return doors == 1; }));
  notifier.onAction("show");
  notifier.onAction("something-else");
  ASSERT_TRUE(waitUntil([&] { return shown == 1; }));
  pumpEvents(std::chrono::milliseconds(100));
  EXPECT_EQ(doors, 1);
}

TEST_F(CallAlertsTest, BringingTheWindowUpSeesTheCallAndWithdrawsTheNotification) {
  callShown();
  host.picture = bytes({0xFF, 0xD8, 'f'});
  ASSERT_TRUE(waitUntil([&] { return notifier.shown.size() == 1; }));
  EXPECT_EQ(notifier.withdrawn, 0);
  host.onScreen = true;
  alerts.update();
  EXPECT_GE(notifier.withdrawn, 1);
  callEnds();
  EXPECT_EQ(alerts.state().missedCount(), 0);
  EXPECT_EQ(tray.picture, ETrayPicture::Idle);
}

TEST_F(CallAlertsTest, TheTrayFollowsDetectionAndTheRelaysOutcome) {
  host.detected = true;
  alerts.update();
  EXPECT_EQ(tray.picture, ETrayPicture::PanelDetected);
  alerts.showRelayOutcome(TRelayOutcome{ERelayState::Success, "ok"});
  ASSERT_TRUE(tray.outcome);
  EXPECT_EQ(tray.outcome->state, ERelayState::Success);
}

}  // namespace
