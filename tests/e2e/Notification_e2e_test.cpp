// A call while the window is minimised on a real desktop (Xvfb and openbox): the program raises
// a desktop notification with the call's first picture on the test's own D-Bus session bus, and
// the notification's Show button brings the window up.
#include <gtest/gtest.h>

#include <QByteArray>

#include "tests/e2e/DesktopSupport.h"
#include "tests/support/DbusSession.h"
#include "tests/support/QtTestSupport.h"

namespace {

std::string text(const std::string& value) { return "\"" + value + "\""; }

class NotificationE2e : public TDesktopLanTest {
 protected:
  void SetUp() override {
    TDesktopLanTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ensureQtApplication();
    ASSERT_TRUE(bus.start()) << bus.error();
    // The program inherits the test's environment: it finds the private bus, not the user's.
    m_savedAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    server = std::make_unique<TNotificationServer>(bus.connect("notification-server"));
    ASSERT_TRUE(server->registered());
  }
  void TearDown() override {
    server.reset();
    QDBusConnection::disconnectFromBus("notification-server");
    if (!m_savedAddress.isNull()) qputenv("DBUS_SESSION_BUS_ADDRESS", m_savedAddress);
    TDesktopLanTest::TearDown();
  }

  TDbusSession bus;
  std::unique_ptr<TNotificationServer> server;

 private:
  QByteArray m_savedAddress;
};

TEST_F(NotificationE2e, ACallWhileMinimisedIsNotifiedWithItsPictureAndShowBringsTheWindowUp) {
  const std::string panel = lan->address(2);
  auto sim = startPanel(panelNs, {"--video", "8081", "--bind", panel}, "panel", "video: listening");
  ASSERT_NE(sim->output().find("video: listening"), std::string::npos) << sim->errors();

  TProgramRun program(path("program"));
  const std::string window = startOnDesktop(
      program, {{"language", text("EN")}, {"startMinimized", "dword:00000001"}}, "Iconic");
  ASSERT_FALSE(window.empty());

  int status = -1;
  runCommand({panelSimPath(), "notify", "--to", lan->address(1), "start", "door", "secret", "8081",
              "100@desk", "hall@" + panel},
             &status, panelNs);
  ASSERT_EQ(status, 0);
  ASSERT_TRUE(waitUntil([&] { return !server->received.empty(); }, std::chrono::seconds(60)))
      << program.log();
  const TReceivedNotification& n = server->received[0];
  EXPECT_EQ(n.appName, "Ostrel Stream");
  EXPECT_EQ(n.summary, QString::fromStdString("Call from hall@" + panel));
  EXPECT_EQ(n.body, QString::fromStdString("Panel " + panel));
  EXPECT_EQ(n.actions, (QStringList{"show", "Show", "open-door", "Open the door"}));
  // The panel's first picture, made small for the notification.
  EXPECT_GT(n.imageWidth, 0);
  EXPECT_LE(n.imageWidth, 320);
  EXPECT_GT(n.imageHeight, 0);
  EXPECT_EQ(n.imageChannels, 3);
  EXPECT_GE(n.imageBytes.size(), static_cast<qsizetype>(n.imageWidth) * n.imageHeight * 3);
  EXPECT_EQ(desktop->wmState(window), "Iconic") << "without autoFocus the window stays down";

  server->pressAction(1, "show");
  EXPECT_TRUE(
      waitUntil([&] { return desktop->wmState(window) == "Normal"; }, std::chrono::seconds(30)))
      << desktop->wmState(window);
  EXPECT_EQ(program.child().terminate(), 0) << program.child().errors();
}

}  // namespace
