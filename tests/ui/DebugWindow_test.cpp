#include "ui/DebugWindow.h"

#include <gtest/gtest.h>

#include <QScrollBar>
#include <thread>

#include "tests/support/QtTestSupport.h"

namespace {

// The debug window wired to a log as the program wires it: refreshes queued to the UI thread.
class DebugWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    window = std::make_unique<TDebugWindow>(captured.log());
    captured.log().setOnDisplayedEntry([this] {
      QMetaObject::invokeMethod(window.get(), &TDebugWindow::refreshFromLog, Qt::QueuedConnection);
    });
  }
  void TearDown() override { captured.log().setOnDisplayedEntry(nullptr); }

  QStringList memoLines() const {
    return window->logView()->toPlainText().split('\n', Qt::SkipEmptyParts);
  }

  TCapturedLog captured;
  std::unique_ptr<TDebugWindow> window;
};

}  // namespace

// Switching the display on brings up the window with the whole history, the switch's own
// entry last; while off, entries do not touch the window.
TEST_F(DebugWindowTest, ShowsTheWholeHistoryOnceDisplayed) {
  debugLog("before");
  pumpEvents(std::chrono::milliseconds(20));
  EXPECT_FALSE(window->isVisible());
  captured.log().setDisplay(true);
  debugLog("Debug displayed");
  ASSERT_TRUE(waitUntil([&] { return window->isVisible(); }));
  EXPECT_EQ(memoLines(), (QStringList{"1000000> before", "1000000> Debug displayed"}));
  EXPECT_EQ(window->windowTitle(), "Debug");

  window->hide();
  debugLog("reappears");
  EXPECT_TRUE(waitUntil([&] { return window->isVisible(); })) << "a closed window comes back";
}

// Entries logged from other threads reach the window through the UI thread, whole and in order.
TEST_F(DebugWindowTest, EntriesFromWorkerThreadsArriveWhole) {
  captured.log().setDisplay(true);
  std::thread worker([] {
    for (int i = 0; i < 200; ++i) debugLog("worker " + std::to_string(i));
  });
  worker.join();
  ASSERT_TRUE(waitUntil([&] { return memoLines().size() == 200; }));
  EXPECT_EQ(memoLines().front(), "1000000> worker 0");
  EXPECT_EQ(memoLines().back(), "1000000> worker 199");
}

// New lines keep the view at the bottom, unless the user has clicked into the text.
TEST_F(DebugWindowTest, FollowsNewLinesUnlessTheUserClickedIn) {
  captured.log().setDisplay(true);
  for (int i = 0; i < 100; ++i) debugLog("line " + std::to_string(i));
  ASSERT_TRUE(waitUntil([&] { return memoLines().size() == 100; }));
  QScrollBar* bar = window->logView()->verticalScrollBar();
  EXPECT_EQ(bar->value(), bar->maximum());

  window->activateWindow();
  window->logView()->setFocus();
  ASSERT_TRUE(waitUntil([&] { return window->logView()->hasFocus(); }));
  bar->setValue(0);
  for (int i = 0; i < 50; ++i) debugLog("more " + std::to_string(i));
  ASSERT_TRUE(waitUntil([&] { return memoLines().size() == 150; }));
  EXPECT_EQ(bar->value(), 0) << "the user's place in the text must stay";
}

// Past the history bound, the oldest line leaves the window with the history.
TEST_F(DebugWindowTest, TrimmedHistoryLeavesTheWindowToo) {
  captured.log().setHistoryLimitForTest(3);
  captured.log().setDisplay(true);
  for (int i = 0; i < 5; ++i) debugLog("entry " + std::to_string(i));
  ASSERT_TRUE(waitUntil([&] { return memoLines().contains("1000000> entry 4"); }));
  pumpEvents(std::chrono::milliseconds(20));
  EXPECT_EQ(memoLines(), (QStringList{"1000000> entry 2", "1000000> entry 3", "1000000> entry 4"}));
}
