// The main window under a real window manager: full screen and back, and starting minimised.
// What a manager does with frames and positions only shows here, not on the offscreen platform.
#include <gtest/gtest.h>

#include <thread>

#include "tests/e2e/DesktopSupport.h"

namespace {

class WindowE2e : public TDesktopLanTest {
 protected:
  // The program on the desktop with its interface chosen and the given further settings; the
  // id of its main window once the manager has taken it in hand.
  std::string startProgram(std::map<std::string, std::string> settings = {}) {
    program = std::make_unique<TProgramRun>(path("program"));
    return startOnDesktop(*program, std::move(settings));
  }

  // The client rectangle once it has stayed the same for a moment (the manager works in steps).
  std::optional<TDesktop::TRect> settledRect(const std::string& window) {
    std::optional<TDesktop::TRect> last;
    int same = 0;
    pollUntil([&] {
      auto now = desktop->clientRect(window);
      same = (now && last && *now == *last) ? same + 1 : 0;
      last = now;
      return same >= 10;
    });
    return last;
  }

  std::unique_ptr<TProgramRun> program;
};

}  // namespace

// Full screen is exactly the screen without a frame, and leaving it gives back exactly the old
// place and size, however many times.
TEST_F(WindowE2e, FullScreenIsTheScreenAndLeavingItGivesBackTheSamePlace) {
  const std::string window = startProgram();
  ASSERT_FALSE(window.empty());
  auto normal = settledRect(window);
  ASSERT_TRUE(normal);
  EXPECT_EQ(normal->width, 419) << normal->describe();

  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_TRUE(desktop->type(window, "ctrl+t"));
    auto full = settledRect(window);
    ASSERT_TRUE(full);
    EXPECT_EQ(*full, desktop->screenRect()) << full->describe();
    auto frame = desktop->frameExtents(window);
    if (frame) {
      EXPECT_EQ(*frame, (TDesktop::TRect{0, 0, 0, 0})) << "no frame in full screen";
    }

    ASSERT_TRUE(desktop->type(window, "Escape"));
    auto back = settledRect(window);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, *normal) << back->describe() << " instead of " << normal->describe();
  }
  desktop->x().screenshot(path("normal-again.png"));
  EXPECT_EQ(program->child().terminate(), 0) << program->child().errors();
}

// startMinimized: the window starts iconic and stays so.
TEST_F(WindowE2e, StartMinimizedStartsIconic) {
  const std::string window = startProgram({{"startMinimized", "dword:00000001"}});
  ASSERT_FALSE(window.empty());
  EXPECT_TRUE(pollUntil([&] { return desktop->wmState(window) == "Iconic"; }))
      << desktop->wmState(window);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(desktop->wmState(window), "Iconic") << "nothing restores it afterwards";
  EXPECT_EQ(program->child().terminate(), 0) << program->child().errors();
}
