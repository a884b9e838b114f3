// The main window from the keyboard and for screen readers: the menu and bar keys reach their
// commands, every picture-only control has a name, Tab follows the bar, and the About window and
// the help page open from the menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include "app/MainWindow.h"
#include "app/Station.h"
#include "tests/app/StationTestSupport.h"
#include "ui/AboutWindow.h"

namespace {

// Takes the place of the user's browser for file addresses.
class TUrlRecorder : public QObject {
  Q_OBJECT
 public:
  std::vector<QUrl> opened;
 public slots:
  void openUrl(const QUrl& url) { opened.push_back(url); }
};

class MainWindowKeysTest : public ::testing::Test, public TStationFixture {
 protected:
  void start(const std::string& moreSettings = "") {
    chooseInterface("192.168.1.10", moreSettings);
    window = std::make_unique<TMainWindow>();
    station = std::make_unique<TStation>(services(), *window);
    window->attachStation(station.get());
    station->runStartUp();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  void TearDown() override {
    window->attachAboutWindow(nullptr);
    station.reset();
    window.reset();
  }
  template <class T>
  T* child(const char* name) const {
    T* found = window->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  // Every control that shows only a picture: the bar's buttons, the pin and the LED.
  std::vector<QWidget*> pictureControls() const {
    std::vector<QWidget*> out;
    for (QToolButton* button : window->findChildren<QToolButton*>())
      if (button->text().isEmpty() && !button->objectName().startsWith("qt_"))
        out.push_back(button);
    for (QLabel* label : window->findChildren<QLabel*>())
      if (!label->pixmap().isNull() && label->objectName() != "backdrop") out.push_back(label);
    return out;
  }

  std::unique_ptr<TMainWindow> window;
  std::unique_ptr<TStation> station;
};

}  // namespace

TEST_F(MainWindowKeysTest, CtrlRMinimisesTheWindow) {
  start();
  QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
  EXPECT_TRUE(waitUntil([&] { return window->isMinimized(); }));
}

// Each bar key does what a click on its control does; F3 and F2 without any address say so, F8
// flips the pin.
TEST_F(MainWindowKeysTest, BarKeysRunTheirCommands) {
  start();
  // A button's key presses it and releases it a moment later, as a click does.
  QTest::keyClick(window.get(), Qt::Key_F3);
  ASSERT_TRUE(waitUntil([&] { return dialogTexts().size() == 1; }))
      << "F3 asks for the favourite panel's stream";
  EXPECT_EQ(dialogTexts().back(),
            "Aucune adresse prioritaire n'est enregistr\xE9"
            "e.");
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QTest::keyClick(window.get(), Qt::Key_F2);
  ASSERT_TRUE(waitUntil([&] { return dialogTexts().size() == 2; })) << "F2 opens the door";
  EXPECT_EQ(dialogTexts().back(),
            "Aucune adresse de pr\xE9"
            "dilection n'est enregistr\xE9"
            "e.");
  QTest::keyClick(window.get(), Qt::Key_F8);
  EXPECT_TRUE(settings.ONTop) << "F8 pins the window";
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QTest::keyClick(window.get(), Qt::Key_F8);
  EXPECT_FALSE(settings.ONTop);
  QTest::keyClick(window.get(), Qt::Key_F4);
  QTest::keyClick(window.get(), Qt::Key_F5);
  pumpEvents(std::chrono::milliseconds(300));
  EXPECT_EQ(dialogTexts().size(), 2u) << "stop and snapshot keys do nothing while idle";
}

// Every picture-only control is named in the language in use, and each bar command's tooltip
// shows its key.
TEST_F(MainWindowKeysTest, PictureControlsAreNamedAndTooltipsShowTheKeys) {
  start("\"language\"=\"EN\"\r\n");
  const auto controls = pictureControls();
  EXPECT_GE(controls.size(), 9u);
  for (QWidget* control : controls)
    EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
  EXPECT_EQ(child<QWidget>("relayButton")->accessibleName(), "Door relay");
  EXPECT_EQ(child<QWidget>("relayButton")->toolTip(), "Trigger default doorphone's relay (F2)");
  const std::pair<const char*, const char*> keys[] = {
      {"favouriteButton", "(F3)"},    {"stopButton", "(F4)"},   {"snapshotButton", "(F5)"},
      {"voiceMessageButton", "(F6)"}, {"listenButton", "(F7)"}, {"stopListeningButton", "(F7)"},
      {"alwaysOnTopPin", "(F8)"}};
  for (const auto& [name, key] : keys)
    EXPECT_TRUE(child<QWidget>(name)->toolTip().endsWith(key)) << name;

  setLanguage("FR");
  station->applyMainWindowTexts();
  EXPECT_EQ(child<QWidget>("relayButton")->accessibleName(), "Relais de la porte");
  EXPECT_EQ(child<QWidget>("detectionLed")->accessibleName(),
            QString::fromUtf8("D\xC3\xA9tection des platines"));

  setLanguage("DE");
  station->applyMainWindowTexts();
  for (QWidget* control : controls)
    EXPECT_FALSE(control->accessibleName().isEmpty())
        << "a language without texts keeps the names: " << control->objectName().toStdString();
}

TEST_F(MainWindowKeysTest, TabGoesAlongTheBarFromLeftToRight) {
  start();
  std::vector<QWidget*> bar;
  QWidget* first = child<QWidget>("relayButton");
  QWidget* at = first;
  do {
    if (qobject_cast<QToolButton*>(at) != nullptr && at->parentWidget() == first->parentWidget())
      bar.push_back(at);
    at = at->nextInFocusChain();
  } while (at != first);
  ASSERT_EQ(bar.size(), 7u);
  for (std::size_t i = 1; i < bar.size(); ++i)
    EXPECT_LE(bar[i - 1]->x(), bar[i]->x()) << bar[i - 1]->objectName().toStdString() << " before "
                                            << bar[i]->objectName().toStdString();
}

// About opens without blocking and a second time is the same window; Help opens the page of the
// language in use in the user's browser.
TEST_F(MainWindowKeysTest, AboutAndHelpFromTheMenu) {
  start("\"language\"=\"EN\"\r\n");
  TAboutWindow about;
  window->attachAboutWindow(&about);
  child<QAction>("aboutAction")->trigger();
  EXPECT_TRUE(about.isVisible());
  EXPECT_FALSE(about.isModal());
  child<QAction>("aboutAction")->trigger();
  EXPECT_TRUE(about.isVisible());

  TUrlRecorder browser;
  QDesktopServices::setUrlHandler("file", &browser, "openUrl");
  child<QAction>("helpAction")->trigger();
  QDesktopServices::unsetUrlHandler("file");
  ASSERT_EQ(browser.opened.size(), 1u);
  EXPECT_TRUE(browser.opened[0].isLocalFile());
  EXPECT_TRUE(browser.opened[0].path().endsWith("/docs/help/index.en.html"))
      << browser.opened[0].toString().toStdString();
  EXPECT_FALSE(readFileBytes(browser.opened[0].toLocalFile().toStdString()).empty());
}

#include "MainWindowKeys_test.moc"
