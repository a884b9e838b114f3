// The main window built as the program builds it, over a station started with fakes: its
// controls, menus, full screen and the pin.
#include "app/MainWindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QSlider>

#include "app/CallAlerts.h"
#include "app/Station.h"
#include "tests/app/StationTestSupport.h"
#include "ui/WaitListWindow.h"

namespace {

class MainWindowTest : public ::testing::Test, public TStationFixture {
 protected:
  void start() {
    window = std::make_unique<TMainWindow>();
    station = std::make_unique<TStation>(services(), *window);
    window->attachStation(station.get());
    station->runStartUp();
  }
  void TearDown() override {
    window->attachWaitListWindow(nullptr);
    station.reset();
    window.reset();
  }
  template <class T>
  T* child(const char* name) const {
    T* found = window->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QWidget* widget(const char* name) const { return child<QWidget>(name); }
  QAction* action(const char* name) const { return child<QAction>(name); }

  std::unique_ptr<TMainWindow> window;
  std::unique_ptr<TStation> station;
};

}  // namespace

// The window's own look after start-up: its size, title, the bar and the video area.
TEST_F(MainWindowTest, StartUpGivesTheFixedWindow) {
  chooseInterface("192.168.1.10");
  start();
  window->show();
  // 419 x 321 under the menu bar: the video area centred (9 px left, 8 px right), 16 px under
  // the bottom bar.
  EXPECT_EQ(window->centralWidget()->size(), QSize(419, 321));
  EXPECT_EQ(window->size(), window->normalSize());
  EXPECT_EQ(window->size().height(), window->menuBar()->height() + 321);
  EXPECT_EQ(widget("videoView")->geometry().left(), 9);
  EXPECT_EQ(419 - widget("videoView")->geometry().right() - 1, 8);
  EXPECT_EQ(321 - (widget("relayButton")->geometry().bottom() + 1), 16);
  EXPECT_EQ(window->windowTitle(), "Ostrel Stream");
  EXPECT_FALSE(widget("stopButton")->isEnabled());
  EXPECT_FALSE(widget("snapshotButton")->isEnabled());
  EXPECT_EQ(widget("videoView")->geometry(), QRect(9, 8, 402, 258));
  auto* view = child<TVideoView>("videoView");
  ASSERT_TRUE(view->picture());
  EXPECT_GT(view->picture()->size(), 1000u) << "the idle picture is shown";
}

// The commands of the menus reach the station.
TEST_F(MainWindowTest, QuitAndDebugFromTheMenus) {
  chooseInterface("192.168.1.10");
  start();
  action("debugAction")->trigger();
  EXPECT_TRUE(captured.log().display());
  EXPECT_EQ(captured.texts().back(), "Debug displayed");
  action("quitAction")->trigger();
  EXPECT_FALSE(station->listener()->active());
  EXPECT_TRUE(station->terminationRequested());
  EXPECT_FALSE(widget("stopButton")->isEnabled());
}

// English texts reach the menus and hints, and the two fixed captions never change.
TEST_F(MainWindowTest, LanguageReachesMenusAndHints) {
  chooseInterface("192.168.1.10", "\"language\"=\"EN\"\r\n");
  start();
  EXPECT_EQ(child<QMenu>("fileMenu")->title(), "File");
  EXPECT_EQ(child<QMenu>("toolsMenu")->title(), "Tools");
  EXPECT_EQ(child<QMenu>("helpMenu")->title(), "?");
  EXPECT_EQ(action("minimiseAction")->text(), QString::fromUtf8("R\xC3\xA9"
                                                                "duire"));
  EXPECT_EQ(action("fullScreenAction")->text(), "Toggle full screen");
  EXPECT_EQ(widget("relayButton")->toolTip(), "Trigger default doorphone's relay (F2)");
  EXPECT_EQ(action("debugAction")->shortcut(), QKeySequence("Ctrl+D"));
  EXPECT_EQ(action("quitAction")->shortcut(), QKeySequence("Ctrl+Q"));
}

// The pin keeps the window where it is and flips its picture; Ctrl+L brings up the wait list.
TEST_F(MainWindowTest, PinKeepsThePositionAndTheWaitListOpensFromTheMenu) {
  chooseInterface("192.168.1.10");
  start();
  TWaitListWindow waitListWindow(station->waitList(), window.get());
  window->attachWaitListWindow(&waitListWindow);
  auto* form = window.get();
  form->show();
  form->move(37, 41);
  QPoint before = form->pos();
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget("alwaysOnTopPin"), &press);
  EXPECT_TRUE(settings.ONTop);
  EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(form->pos(), before);
  QApplication::sendEvent(widget("alwaysOnTopPin"), &press);
  EXPECT_FALSE(settings.ONTop);
  EXPECT_EQ(form->pos(), before);

  EXPECT_FALSE(waitListWindow.isVisible());
  action("waitListAction")->trigger();
  EXPECT_TRUE(waitListWindow.isVisible());
  EXPECT_EQ(waitListWindow.x(), form->x() + form->frameGeometry().width());
}

// Full screen from the menu fills the screen and hides the bar's controls; Escape comes back to
// the fixed window where it was, with the video area in its place.
TEST_F(MainWindowTest, FullScreenFromTheMenuAndBackWithEscape) {
  chooseInterface("192.168.1.10");
  start();
  auto* form = window.get();
  form->show();
  form->move(50, 60);
  const QRect before = form->geometry();
  action("fullScreenAction")->trigger();
  ASSERT_TRUE(station->display().FullScreenActive());
  EXPECT_TRUE(waitUntil([&] { return form->geometry() == form->screen()->geometry(); }))
      << "full screen is the whole screen";
  EXPECT_TRUE(
      waitUntil([&] { return widget("videoView")->size() == form->centralWidget()->size(); }));
  for (QWidget* hidden : std::initializer_list<QWidget*>{
           widget("favouriteButton"), widget("relayButton"), widget("stopButton"),
           widget("snapshotButton"), widget("voiceMessageButton"), widget("alwaysOnTopPin"),
           widget("detectionLed")})
    EXPECT_FALSE(hidden->isVisible());

  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(form, &escape);
  EXPECT_FALSE(station->display().FullScreenActive());
  EXPECT_TRUE(waitUntil([&] { return form->geometry() == before; }))
      << "back exactly where and as it was";
  EXPECT_EQ(widget("videoView")->geometry(), QRect(9, 8, 402, 258));
  EXPECT_TRUE(widget("favouriteButton")->isVisible());
  EXPECT_TRUE(widget("detectionLed")->isVisible());

  QApplication::sendEvent(form, &escape);
  EXPECT_FALSE(station->display().FullScreenActive()) << "Escape does nothing in the normal window";
}

// The voice-message button reaches the station, and the clock beside it is the fixed label
// that shows what the station tells it.
TEST_F(MainWindowTest, VoiceMessageButtonAndRecordingClock) {
  chooseInterface("192.168.1.10");
  start();
  settings.APIMethod = "GET";
  dialogs.shown.clear();
  child<QToolButton>("voiceMessageButton")->click();
  ASSERT_EQ(dialogTexts(), std::vector<std::string>{"API POST Method only"});

  auto* clock = child<QLabel>("recordingClock");
  EXPECT_EQ(clock->geometry(), QRect(145, 289, 111, 13));
  window->showVoiceMessage({EVoiceState::Recording, "3.27s", {}});
  EXPECT_EQ(clock->text(), "3.27s");
  window->showVoiceMessage({EVoiceState::Failure, {}, "HTTP/1.1 500 Boom"});
  EXPECT_EQ(clock->text(), "");
  EXPECT_TRUE(widget("voiceMessageButton")->toolTip().contains("500 Boom"));
}
namespace {

// What the station says about the stream reaches the window: the text over the video in its
// bottom-left corner (hidden when there is nothing to say), the statistics from the menu, the
// title, and the snapshot's flash and path.
TEST_F(MainWindowTest, StreamStateShowsOverTheVideoAndInTheTitle) {
  chooseInterface("192.168.1.10");
  start();
  window->show();
  auto* status = child<QLabel>("streamStatus");
  auto* statistics = child<QLabel>("streamStatistics");
  EXPECT_FALSE(status->isVisible());

  station->streams().setTarget({"127.0.0.1", "Hall", "admin", "pw", "1"});
  station->launchStream();
  station->onStatusTick();
  EXPECT_TRUE(status->isVisible());
  EXPECT_EQ(status->text(), "Connexion...");
  EXPECT_TRUE(widget("videoView")->geometry().contains(status->geometry()))
      << "the text sits over the video";
  EXPECT_EQ(window->windowTitle(), "Ostrel Stream - Hall");
  EXPECT_FALSE(statistics->isVisible());
  action("statisticsAction")->trigger();
  EXPECT_TRUE(statistics->isVisible());
  EXPECT_TRUE(statistics->text().contains("127.0.0.1")) << statistics->text().toStdString();
  action("statisticsAction")->trigger();
  EXPECT_FALSE(statistics->isVisible());

  station->stopStream();
  station->onStatusTick();
  EXPECT_FALSE(status->isVisible());
  EXPECT_EQ(window->windowTitle(), "Ostrel Stream");

  const auto path = station->display().onSnapshotClicked();
  ASSERT_TRUE(path);
  EXPECT_TRUE(widget("snapshotFlash")->isVisible());
  EXPECT_TRUE(waitUntil([&] { return !widget("snapshotFlash")->isVisible(); }));
  auto* where = child<QLabel>("snapshotPath");
  EXPECT_TRUE(where->isVisible());
  EXPECT_TRUE(where->text().endsWith(QString::fromStdString(*path))) << where->text().toStdString();
}

}  // namespace

// The live-sound controls sit where the bar keeps them, the listen button is there from the
// start, and a right click on the level bar offers the volume and mute, which reach the saved
// settings.
TEST_F(MainWindowTest, LevelBarRightClickSetsTheLiveVolumeAndMute) {
  chooseInterface("192.168.1.10");
  start();
  window->show();
  EXPECT_EQ(widget("listenButton")->geometry(), QRect(115, 280, 24, 25));
  EXPECT_EQ(widget("stopListeningButton")->geometry(), QRect(115, 280, 24, 25));
  EXPECT_EQ(widget("audioLevelBar")->geometry(), QRect(145, 281, 109, 9));
  EXPECT_TRUE(widget("listenButton")->isVisible());

  QWidget* bar = widget("audioLevelBar");
  bar->show();
  emit bar->customContextMenuRequested(QPoint(5, 5));
  auto* menu = child<QMenu>("liveVolumeMenu");
  ASSERT_NE(menu, nullptr);
  auto* slider = menu->findChild<QSlider*>("liveVolumeSlider");
  ASSERT_NE(slider, nullptr);
  EXPECT_EQ(slider->value(), 100) << "full volume when nothing was saved";
  slider->setValue(30);
  EXPECT_EQ(settings.liveVolume, 30);
  QAction* mute = action("liveMuteAction");
  ASSERT_NE(mute, nullptr);
  mute->trigger();
  EXPECT_TRUE(settings.liveMute);
  EXPECT_EQ(station->liveOutput()->appliedVolume(), 0);
  mute->trigger();
  EXPECT_EQ(station->liveOutput()->appliedVolume(), 30);
  menu->close();
}

// A call that came and went while the window was hidden stays missed until the journal is
// opened from the Tools menu; opening it is what clears the count.
TEST_F(MainWindowTest, OpeningTheJournalFromTheMenuClearsTheMissedCalls) {
  chooseInterface("192.168.1.10");
  start();
  TCallAlerts* alerts = station->callAlerts();
  ASSERT_NE(alerts, nullptr);
  alerts->callAdmitted("192.168.1.60", "200@192.168.1.60", ECallAdmitted::Shown);
  alerts->callEnded("192.168.1.60");
  ASSERT_EQ(alerts->state().missedCount(), 1);
  action("journalAction")->trigger();
  EXPECT_EQ(alerts->state().missedCount(), 0);
  QWidget* journal = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top->objectName() == "journalWindow") journal = top;
  ASSERT_NE(journal, nullptr);
  EXPECT_TRUE(journal->isVisible());
  journal->close();
}
