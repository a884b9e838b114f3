// An exception that escapes an event handler: logged, shown in an error box once the handler has
// returned, and the program goes on. This binary runs under the program's own application
// object, so the events of every test here pass through it.
#include "app/Application.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <stdexcept>

#include "app/EventErrors.h"
#include "tests/support/QtTestSupport.h"

namespace {

// Throws from its event handler, as a faulty slot or handler would.
class TThrowingObject : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw std::runtime_error("the panel list is damaged");
    return QObject::event(event);
  }
};

// Counts whether the box was open while the handler still ran.
class TBoxWatch : public TRecordingDialogs {
 public:
  bool handlerRunning = false;
  bool openedInsideTheHandler = false;
  EDialogResult message(const std::string& text, EDialogIcon icon,
                        EDialogButtons buttons) override {
    if (handlerRunning) openedInsideTheHandler = true;
    return TRecordingDialogs::message(text, icon, buttons);
  }
};

}  // namespace

TEST(ApplicationTest, AnEscapingExceptionIsShownAfterTheHandlerAndTheLoopGoesOn) {
  auto* app = qobject_cast<TApplication*>(QCoreApplication::instance());
  ASSERT_NE(app, nullptr);
  TCapturedLog captured;
  TBoxWatch dialogs;
  TEventErrors errors(dialogs);
  app->setEventErrors(&errors);

  TThrowingObject object;
  QEvent event(QEvent::User);
  dialogs.handlerRunning = true;
  EXPECT_FALSE(QCoreApplication::sendEvent(&object, &event));
  dialogs.handlerRunning = false;
  EXPECT_TRUE(captured.contains("Exception: the panel list is damaged"));
  EXPECT_TRUE(dialogs.shown.empty()) << "no box inside the handler";

  ASSERT_TRUE(waitUntil([&] { return !dialogs.shown.empty(); }));
  EXPECT_FALSE(dialogs.openedInsideTheHandler);
  EXPECT_EQ(dialogs.shown[0].text, "the panel list is damaged");
  EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::Error);

  // The loop goes on: a second fault is reported the same way.
  QEvent again(QEvent::User);
  QCoreApplication::sendEvent(&object, &again);
  EXPECT_TRUE(waitUntil([&] { return dialogs.shown.size() == 2; }));
  app->setEventErrors(nullptr);
}

TEST(ApplicationTest, ABoxStillQueuedWhenTheReporterGoesIsNotShown) {
  TCapturedLog captured;
  TRecordingDialogs dialogs;
  {
    TEventErrors errors(dialogs);
    errors.deliver([]() -> bool { throw 42; });
  }
  pumpEvents(std::chrono::milliseconds(50));
  EXPECT_TRUE(captured.contains("Exception: Unknown exception"));
  EXPECT_TRUE(dialogs.shown.empty());
}

// The program's own application object for every test of this binary.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  TApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
