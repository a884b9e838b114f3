// The notifier and the screen-saver inhibitor against a real dbus-daemon of the test's own, with
// a small notification server and screen saver service on it that record what arrives.
#include "platform/dbus/DbusNotifier.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDBusError>
#include <QImage>

#include "platform/dbus/DbusScreenSaver.h"
#include "tests/support/DbusSession.h"
#include "tests/support/QtTestSupport.h"

namespace {

std::vector<unsigned char> jpegOf(int width, int height) {
  QImage image(width, height, QImage::Format_RGB888);
  image.fill(QColor(200, 40, 40));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPEG");
  return {bytes.begin(), bytes.end()};
}

int linesStartingWith(const TCapturedLog& log, const std::string& prefix) {
  int lines = 0;
  for (const std::string& line : log.texts())
    if (line.rfind(prefix, 0) == 0) ++lines;
  return lines;
}

class DbusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    ASSERT_TRUE(bus.start()) << bus.error();
    client = std::make_unique<QDBusConnection>(bus.connect("client"));
    ASSERT_TRUE(client->isConnected()) << client->lastError().message().toStdString();
  }
  void TearDown() override {
    QDBusConnection::disconnectFromBus("client");
    QDBusConnection::disconnectFromBus("server");
  }
  QDBusConnection serverBus() { return bus.connect("server"); }

  TDbusSession bus;
  std::unique_ptr<QDBusConnection> client;
};

TDesktopNotification call(std::vector<unsigned char> jpeg) {
  return {"Call from hall@sip",
          "Panel 10.0.0.5",
          std::move(jpeg),
          {{"show", "Show"}, {"open-door", "Open the door"}}};
}

TEST_F(DbusTest, TheNotificationArrivesWithItsTextsButtonsAndASmallPicture) {
  TNotificationServer server(serverBus());
  ASSERT_TRUE(server.registered());
  TDbusNotifier notifier(*client);
  notifier.notify(call(jpegOf(640, 480)));
  ASSERT_TRUE(waitUntil([&] { return server.received.size() == 1; }));
  const TReceivedNotification& n = server.received[0];
  EXPECT_EQ(n.appName, "Ostrel Stream");
  EXPECT_EQ(n.summary, "Call from hall@sip");
  EXPECT_EQ(n.body, "Panel 10.0.0.5");
  EXPECT_EQ(n.actions, (QStringList{"show", "Show", "open-door", "Open the door"}));
  EXPECT_EQ(n.hints.value("urgency").toInt(), 2);
  EXPECT_EQ(n.imageWidth, TDbusNotifier::ImageSide);
  EXPECT_EQ(n.imageHeight, 240);
  EXPECT_EQ(n.imageChannels, 3);
  ASSERT_GE(n.imageBytes.size(), 3 * 320 * 240);
  // The picture's colour survives the trip (JPEG moves it a little).
  EXPECT_NEAR(static_cast<unsigned char>(n.imageBytes[0]), 200, 12);
  EXPECT_NEAR(static_cast<unsigned char>(n.imageBytes[1]), 40, 12);

  // A second call replaces the first on screen instead of piling up (once the server's number
  // for the first has come back).
  pumpEvents(std::chrono::milliseconds(300));
  notifier.notify(call({}));
  ASSERT_TRUE(waitUntil([&] { return server.received.size() == 2; }));
  EXPECT_EQ(server.received[1].replacesId, 1u);
  EXPECT_FALSE(server.received[1].hints.contains("image-data"));
}

TEST_F(DbusTest, APictureThatIsNotAJpegIsLeftOut) {
  TNotificationServer server(serverBus());
  TDbusNotifier notifier(*client);
  notifier.notify(call({'n', 'o', 't', 0xFF}));
  ASSERT_TRUE(waitUntil([&] { return server.received.size() == 1; }));
  EXPECT_FALSE(server.received[0].hints.contains("image-data"));
  EXPECT_EQ(server.received[0].summary, "Call from hall@sip");
}

TEST_F(DbusTest, ButtonsOfOurNotificationAreReportedOthersAreNot) {
  TNotificationServer server(serverBus());
  TDbusNotifier notifier(*client);
  std::vector<std::string> pressed;
  notifier.setOnAction([&](const std::string& key) { pressed.push_back(key); });
  notifier.notify(call({}));
  ASSERT_TRUE(waitUntil([&] { return server.received.size() == 1; }));
  // The id comes back asynchronously; a button of another program's notification is ignored.
  pumpEvents(std::chrono::milliseconds(200));
  server.pressAction(77, "open-door");
  server.pressAction(1, "open-door");
  ASSERT_TRUE(waitUntil([&] { return !pressed.empty(); }));
  pumpEvents(std::chrono::milliseconds(200));
  EXPECT_EQ(pressed, (std::vector<std::string>{"open-door"}));
}

TEST_F(DbusTest, WithdrawClosesTheNotificationAlsoWhenAskedBeforeItsNumberCame) {
  TNotificationServer server(serverBus());
  TDbusNotifier notifier(*client);
  notifier.notify(call({}));
  notifier.withdraw();  // the reply with the number is still on its way
  ASSERT_TRUE(waitUntil([&] { return server.closed.size() == 1; }));
  EXPECT_EQ(server.closed[0], 1u);
  notifier.withdraw();  // nothing shown any more: nothing sent
  pumpEvents(std::chrono::milliseconds(200));
  EXPECT_EQ(server.closed.size(), 1u);
}

TEST_F(DbusTest, NoNotificationServerIsLoggedOnceAndNothingElseHappens) {
  TCapturedLog log;
  TDbusNotifier notifier(*client);
  notifier.notify(call({}));
  notifier.notify(call({}));
  const std::string prefix = "**** Desktop notification not shown: ";
  ASSERT_TRUE(waitUntil([&] { return linesStartingWith(log, prefix) > 0; }));
  pumpEvents(std::chrono::milliseconds(300));
  EXPECT_EQ(linesStartingWith(log, prefix), 1);
}

TEST_F(DbusTest, TheScreenSaverIsInhibitedOnceReleasedWithItsCookieAndWoken) {
  TScreenSaverService service(serverBus());
  ASSERT_TRUE(service.registered());
  TDbusScreenSaver saver(*client);
  saver.inhibit("Call from hall@sip");
  saver.inhibit("again");
  ASSERT_TRUE(waitUntil([&] { return service.active.size() == 1; }));
  saver.uninhibit();
  ASSERT_TRUE(waitUntil([&] { return service.active.empty(); }));
  saver.wake();
  ASSERT_TRUE(waitUntil([&] { return service.calls.size() == 3; }));
  EXPECT_EQ(service.calls,
            (QStringList{"Inhibit:Call from hall@sip", "UnInhibit:40", "SimulateUserActivity"}));
}

// A call that ends before the service gave its cookie must not leave the screen saver off.
TEST_F(DbusTest, ACallEndedBeforeTheCookieCameStillReleasesTheScreenSaver) {
  TScreenSaverService service(serverBus());
  TDbusScreenSaver saver(*client);
  saver.inhibit("call");
  saver.uninhibit();
  ASSERT_TRUE(waitUntil([&] { return service.calls.size() == 2; }));
  EXPECT_TRUE(service.active.empty());
}

TEST_F(DbusTest, NoScreenSaverServiceIsLoggedOnce) {
  TCapturedLog log;
  TDbusScreenSaver saver(*client);
  saver.inhibit("call");
  saver.wake();
  const std::string prefix = "**** Screen saver not reached: ";
  ASSERT_TRUE(waitUntil([&] { return linesStartingWith(log, prefix) > 0; }));
  pumpEvents(std::chrono::milliseconds(300));
  EXPECT_EQ(linesStartingWith(log, prefix), 1);
}

}  // namespace
