#include "app/TForm7.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTcpServer>
#include <QTemporaryDir>
#include <fstream>

#include "core/AppSettings.h"
#include "support/QtTestSupport.h"
#include "video/TForm5.h"

namespace {

TIfRow ifRow(std::uint32_t index, std::uint32_t type) {
  TIfRow row;
  row.index = index;
  row.type = type;
  row.adminStatus = IfAdminUp;
  row.operStatus = IfOperUp;
  return row;
}

// The main window built as the program builds it, with a fake environment, clock, dialogs and
// interface table, and the listener on a free port.
class TForm7Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    AppSettings = TAppSettings{};
    std::string home = dir.path().toStdString();
    env.values = {{"HOME", home},
                  {"TMP", captured.folder()},
                  {"XDG_CONFIG_HOME", home + "/config"},
                  {"XDG_DATA_HOME", home + "/data"}};
    net.ownNameAddresses = {"127.0.0.1"};
    TIfTable table;
    table.interfaces = {ifRow(1, NetIfType::Loopback), ifRow(2, NetIfType::Ethernet)};
    table.addresses = {{1, "127.0.0.1", "255.0.0.0"}, {2, "192.168.1.10", "255.255.255.0"}};
    net.table = table;
  }
  void TearDown() override { AppSettings = TAppSettings{}; }

  // The settings a user would have saved: the one Ethernet interface chosen.
  void chooseInterface(const std::string& address) {
    std::string folder = dir.path().toStdString() + "/config/Halvex";
    QDir().mkpath(QString::fromStdString(folder));
    std::ofstream(folder + "/HalvexStream.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n"
        << "[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]\r\n"
        << "\"interfaceSelected\"=\"" << address << "\"\r\n";
  }

  std::unique_ptr<TForm7> create(std::uint16_t port = 0) {
    return std::make_unique<TForm7>(
        TForm7Services{captured.log(), dialogs, env, clock, net, port, nullptr});
  }

  std::vector<std::string> dialogTexts() const {
    std::vector<std::string> out;
    for (const auto& shown : dialogs.shown) out.push_back(shown.text);
    return out;
  }

  QTemporaryDir dir;
  TCapturedLog captured;
  TFakeEnv env;
  TFakeClock& clock = captured.clock;
  TRecordingDialogs dialogs;
  TFakeNetInterfaces net;
};

}  // namespace

// A normal start: the listener serves, the timers run, the stream buttons wait for a stream,
// and the steps ran in their order.
TEST_F(TForm7Test, NormalStartRunsEveryStepInOrder) {
  chooseInterface("192.168.1.10");
  auto form = create();
  EXPECT_FALSE(form->terminationRequested());
  ASSERT_NE(form->ServerSocket1(), nullptr);
  EXPECT_TRUE(form->ServerSocket1()->active());
  EXPECT_TRUE(dialogs.shown.empty() ||
              dialogs.shown.front().text.find("HTTPS") != std::string::npos);
  EXPECT_EQ(form->HostIP(), "192.168.1.10");
  EXPECT_TRUE(form->timer(1)->isActive());
  EXPECT_TRUE(form->timer(2)->isActive());
  EXPECT_FALSE(form->timer(3)->isActive());
  EXPECT_TRUE(form->timer(4)->isActive());
  EXPECT_FALSE(form->SpeedButton3->isEnabled());
  EXPECT_FALSE(form->SpeedButton4->isEnabled());
  EXPECT_EQ(form->size(), QSize(435, 380));
  EXPECT_EQ(form->windowTitle(), "Ostrel Stream");

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
TEST_F(TForm7Test, UnusableHostAddressEndsTheProgram) {
  TIfTable loopbackOnly;
  loopbackOnly.interfaces = {ifRow(1, NetIfType::Loopback)};
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
    auto form = create();
    EXPECT_TRUE(form->terminationRequested());
    EXPECT_EQ(form->ServerSocket1(), nullptr);
    for (int t = 1; t <= 4; ++t) EXPECT_EQ(form->timer(t), nullptr) << "Timer" << t;
    ASSERT_EQ(dialogTexts(), std::vector<std::string>{"Ostrel Stream: Network error"});
    EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::Error);
    EXPECT_FALSE(captured.contains("Socket active port 2201"));
  }
}

// A second copy cannot have the port: it says so and ends, and the first copy keeps serving.
TEST_F(TForm7Test, PortInUseEndsTheSecondCopy) {
  QTcpServer firstCopy;
  ASSERT_TRUE(firstCopy.listen(QHostAddress::AnyIPv4, 0));
  auto form = create(firstCopy.serverPort());
  EXPECT_TRUE(form->terminationRequested());
  EXPECT_EQ(form->ServerSocket1(), nullptr);
  EXPECT_EQ(form->timer(1), nullptr);
  EXPECT_EQ(form->timer(2), nullptr);
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_EQ(dialogs.shown.back().text, "Ostrel Stream: Socket en cours d'utilisation.");
  EXPECT_EQ(dialogs.shown.back().icon, EDialogIcon::Error);
  EXPECT_TRUE(captured.contains("Socket failed port 2201"));
  EXPECT_FALSE(captured.contains("Registry keys successfully loaded"));
  EXPECT_TRUE(firstCopy.isListening());
}

// Several interfaces and none chosen: the user is told, and the periodic work stays off while
// the listener still serves.
TEST_F(TForm7Test, UnchosenInterfaceRunsDegraded) {
  auto form = create();
  EXPECT_FALSE(form->terminationRequested());
  EXPECT_TRUE(form->ServerSocket1()->active());
  for (int t = 1; t <= 4; ++t) EXPECT_EQ(form->timer(t), nullptr) << "Timer" << t;
  ASSERT_FALSE(dialogs.shown.empty());
  EXPECT_EQ(dialogs.shown.front().icon, EDialogIcon::None);
  EXPECT_EQ(dialogs.shown.front().text.rfind("Attention, plusieurs interfaces", 0), 0u);
}

struct TDateCase {
  int month, day;
  bool festive;
};

// The festive idle picture from 24 to 31 December, chosen once at start.
TEST_F(TForm7Test, IdlePictureFollowsTheDateAtStart) {
  chooseInterface("192.168.1.10");
  const TDateCase cases[] = {
      {12, 23, false}, {12, 24, true}, {12, 31, true}, {1, 1, false}, {6, 24, false}};
  for (const TDateCase& c : cases) {
    clock.local = TLocalTime{2026, c.month, c.day, 23, 59, 0};
    auto form = create();
    EXPECT_EQ(form->festiveIdlePicture(), c.festive) << c.month << "/" << c.day;
    ASSERT_TRUE(form->Image1->picture());
    EXPECT_GT(form->Image1->picture()->size(), 1000u);
  }
}

// Quit stops listening and ends the loop; Debug switches the display and says so.
TEST_F(TForm7Test, QuitAndDebugCommands) {
  chooseInterface("192.168.1.10");
  auto form = create();
  form->Debug1Click();
  EXPECT_TRUE(captured.log().display());
  EXPECT_EQ(captured.texts().back(), "Debug displayed");
  form->Debug1Click();
  EXPECT_FALSE(captured.log().display());
  form->Quitter1Click();
  EXPECT_FALSE(form->ServerSocket1()->active());
  EXPECT_TRUE(form->terminationRequested());
  EXPECT_FALSE(form->SpeedButton3->isEnabled());
}

// English texts reach the menus and hints, and the two fixed captions never change.
TEST_F(TForm7Test, LanguageReachesMenusAndHints) {
  chooseInterface("192.168.1.10");
  std::ofstream(dir.path().toStdString() + "/config/Halvex/HalvexStream.reg", std::ios::app)
      << "\"language\"=\"EN\"\r\n";
  auto form = create();
  EXPECT_EQ(form->Fichier1->title(), "File");
  EXPECT_EQ(form->Option1->title(), "Tools");
  EXPECT_EQ(form->N1->title(), "?");
  EXPECT_EQ(form->Minimiser1->text(), QString::fromUtf8("R\xC3\xA9"
                                                        "duire"));
  EXPECT_EQ(form->Togglefullscreen1->text(), "Toggle full screen");
  EXPECT_EQ(form->SpeedButton2->toolTip(), "Trigger default doorphone's relay");
  EXPECT_EQ(form->Debug1->shortcut(), QKeySequence("Ctrl+D"));
  EXPECT_EQ(form->Quitter1->shortcut(), QKeySequence("Ctrl+Q"));
}

// The pin keeps the window where it is and flips its picture; Ctrl+L brings up the wait list.
TEST_F(TForm7Test, PinKeepsThePositionAndTheWaitListOpensFromTheMenu) {
  chooseInterface("192.168.1.10");
  auto form = create();
  TForm5 waitListWindow(form->waitList(), form.get());
  form->attachWaitListWindow(&waitListWindow);
  form->show();
  form->move(37, 41);
  QPoint before = form->pos();
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(form->Image3, &press);
  EXPECT_TRUE(AppSettings.ONTop);
  EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(form->pos(), before);
  QApplication::sendEvent(form->Image3, &press);
  EXPECT_FALSE(AppSettings.ONTop);
  EXPECT_EQ(form->pos(), before);

  EXPECT_FALSE(waitListWindow.isVisible());
  form->Listedattente1->trigger();
  EXPECT_TRUE(waitListWindow.isVisible());
  EXPECT_EQ(waitListWindow.x(), form->x() + form->frameGeometry().width());
}

// Full screen from the menu fills the screen and hides the bar's controls; Escape comes back to
// the fixed window where it was, with the video area in its place.
TEST_F(TForm7Test, FullScreenFromTheMenuAndBackWithEscape) {
  chooseInterface("192.168.1.10");
  auto form = create();
  form->show();
  form->move(50, 60);
  QPoint before = form->pos();
  form->Togglefullscreen1->trigger();
  ASSERT_TRUE(form->FullScreenActive());
  EXPECT_EQ(form->geometry().size(), form->screen()->geometry().size());
  EXPECT_EQ(form->Image1->size(), form->centralWidget()->size());
  for (QWidget* hidden : std::initializer_list<QWidget*>{
           form->SpeedButton1, form->SpeedButton2, form->SpeedButton3, form->SpeedButton4,
           form->SpeedButton5, form->Image3, form->Image6})
    EXPECT_FALSE(hidden->isVisible());

  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(form.get(), &escape);
  EXPECT_FALSE(form->FullScreenActive());
  EXPECT_EQ(form->size(), QSize(435, 380));
  EXPECT_EQ(form->pos(), before);
  EXPECT_EQ(form->Image1->geometry(), QRect(9, 8, 402, 258));
  EXPECT_TRUE(form->SpeedButton1->isVisible());
  EXPECT_TRUE(form->Image6->isVisible());

  QApplication::sendEvent(form.get(), &escape);
  EXPECT_FALSE(form->FullScreenActive()) << "Escape does nothing in the normal window";
}
