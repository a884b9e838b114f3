// The tray icon's menu, pictures, tooltip and relay feedback, under the offscreen platform with
// the tray's availability given by the test (no tray exists there).
#include <gtest/gtest.h>

#include "core/UiTexts.h"
#include "tests/support/QtTestSupport.h"
#include "ui/TrayIconWidget.h"

namespace {

class TrayIconTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    setLanguage("EN");
  }
  void TearDown() override { setLanguage("FR"); }
  QAction* action(TTrayIcon& tray, const char* name) {
    QAction* found = tray.menu().findChild<QAction*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
};

TEST_F(TrayIconTest, TheMenuCarriesEveryCommandInTheUsersLanguageAndSignalsIt) {
  TTrayIcon tray(true);
  QStringList texts;
  for (QAction* a : tray.menu().actions())
    if (!a->isSeparator()) texts << a->text();
  EXPECT_EQ(texts, (QStringList{"Hide", "Watch favourite", "Open the door", "Journal", "Settings",
                                "Quit"}));
  std::vector<std::string> fired;
  const std::pair<const char*, void (TTrayIcon::*)()> commands[] = {
      {"showHide", &TTrayIcon::showHideRequested},
      {"favourite", &TTrayIcon::watchFavouriteRequested},
      {"door", &TTrayIcon::openDoorRequested},
      {"journal", &TTrayIcon::journalRequested},
      {"settings", &TTrayIcon::settingsRequested},
      {"quit", &TTrayIcon::quitRequested}};
  for (const auto& [name, signal] : commands)
    QObject::connect(&tray, signal, [&fired, name = name] { fired.push_back(name); });
  for (QAction* a : tray.menu().actions())
    if (!a->isSeparator()) a->trigger();
  EXPECT_EQ(fired, (std::vector<std::string>{"showHide", "favourite", "door", "journal", "settings",
                                             "quit"}));

  tray.setWindowShown(false);
  EXPECT_EQ(action(tray, "trayShowHideAction")->text(), "Show");
  setLanguage("FR");
  tray.applyTexts();
  EXPECT_EQ(action(tray, "trayShowHideAction")->text(), "Afficher");
  EXPECT_EQ(action(tray, "trayOpenDoorAction")->text(), "Ouvrir la porte");
}

TEST_F(TrayIconTest, EachStateHasItsOwnPictureAndTheTooltipIsShown) {
  TTrayIcon tray(true);
  std::vector<QImage> pictures;
  for (ETrayPicture p : {ETrayPicture::Idle, ETrayPicture::PanelDetected,
                         ETrayPicture::CallInProgress, ETrayPicture::MissedCalls}) {
    tray.showTrayState(p, p == ETrayPicture::MissedCalls ? 3 : 0, "Ostrel Stream");
    pictures.push_back(tray.icon().icon().pixmap(32, 32).toImage());
  }
  for (std::size_t i = 0; i < pictures.size(); ++i)
    for (std::size_t j = i + 1; j < pictures.size(); ++j)
      EXPECT_NE(pictures[i], pictures[j]) << i << " and " << j << " look the same";
  // The number is written on the missed-calls picture.
  tray.showTrayState(ETrayPicture::MissedCalls, 4, "x");
  EXPECT_NE(tray.icon().icon().pixmap(32, 32).toImage(), pictures[3]);

  tray.showTrayState(ETrayPicture::MissedCalls, 1,
                     "Ostrel Stream\nLast caller: hall@sip\nMissed calls: 1");
  EXPECT_EQ(tray.icon().toolTip(), "Ostrel Stream\nLast caller: hall@sip\nMissed calls: 1");
}

TEST_F(TrayIconTest, TheDoorItemGivesTheRelaysFeedbackAndIsBusyMeanwhile) {
  TTrayIcon tray(true);
  QAction* door = action(tray, "trayOpenDoorAction");
  tray.showRelayOutcome(TRelayOutcome{ERelayState::Busy, ""});
  EXPECT_FALSE(door->isEnabled());
  tray.showRelayOutcome(TRelayOutcome{ERelayState::Failure, "HTTP/1.1 401 Unauthorized"});
  EXPECT_TRUE(door->isEnabled());
  EXPECT_EQ(door->text(), QString::fromUtf8("Open the door \u2718 HTTP/1.1 401 Unauthorized"));
  tray.showRelayOutcome(std::nullopt);
  EXPECT_EQ(door->text(), "Open the door");
}

TEST_F(TrayIconTest, WithoutATrayTheIconIsNeverShown) {
  TTrayIcon none(false);
  EXPECT_FALSE(none.icon().isVisible());
  TTrayIcon some(true);
  EXPECT_TRUE(some.icon().isVisible());
}

}  // namespace
