// One copy per user: two instances in one process stand for two copies of the program.
#include "app/SingleInstance.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <memory>

#include "app/StartupChoices.h"
#include "core/Autostart.h"
#include "tests/support/Fakes.h"
#include "tests/support/QtTestSupport.h"

namespace {

using namespace std::chrono_literals;
using ERole = TSingleInstance::ERole;

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override { ensureQtApplication(); }
  std::string socket() const { return dir.path().toStdString() + "/ostrel-stream.socket"; }
  QTemporaryDir dir;
};

TEST_F(SingleInstanceTest, SecondCopyBringsTheFirstToTheFront) {
  TSingleInstance first(socket());
  ASSERT_EQ(first.claim(), ERole::Primary);
  int raised = 0;
  QObject::connect(&first, &TSingleInstance::raiseRequested, [&] { ++raised; });

  TSingleInstance second(socket());
  EXPECT_EQ(second.claim(), ERole::Secondary);
  EXPECT_FALSE(second.listening()) << "the second copy must not take the first one's place";
  EXPECT_TRUE(waitUntil([&] { return raised == 1; }));
  EXPECT_TRUE(first.listening());
}

// A copy that crashed leaves its socket file behind: the next one is the first copy.
TEST_F(SingleInstanceTest, LeftoverSocketFileIsNoRunningCopy) {
  std::ofstream(socket()) << "left over";
  TSingleInstance copy(socket());
  EXPECT_EQ(copy.claim(), ERole::Primary);
  EXPECT_TRUE(copy.listening());
}

// The copy started by a restart waits for the old one to end instead of ending itself; an old
// copy that does not end in time is a running copy after all.
TEST_F(SingleInstanceTest, RestartedCopyWaitsForTheOldOneToEnd) {
  auto old = std::make_unique<TSingleInstance>(socket());
  ASSERT_EQ(old->claim(), ERole::Primary);
  int raised = 0;
  QObject::connect(old.get(), &TSingleInstance::raiseRequested, [&] { ++raised; });
  QTimer::singleShot(300, [&] { old.reset(); });
  TSingleInstance restarted(socket());
  EXPECT_EQ(restarted.claim(5s), ERole::Primary);
  EXPECT_EQ(old, nullptr);
  EXPECT_EQ(raised, 0) << "an ending copy is not asked to come to the front";
  EXPECT_TRUE(restarted.listening());

  TSingleInstance stubborn(dir.path().toStdString() + "/other.socket");
  ASSERT_EQ(stubborn.claim(), ERole::Primary);
  TSingleInstance late(dir.path().toStdString() + "/other.socket");
  EXPECT_EQ(late.claim(300ms), ERole::Secondary);
}

TEST_F(SingleInstanceTest, SocketIsPerUserInTheRuntimeFolder) {
  TFakeEnv env;
  env.values["TMP"] = dir.path().toStdString();
  TPaths paths(env);
  EXPECT_EQ(TSingleInstance::socketPath(env, paths), socket()) << "no runtime folder: ours";
  env.values["XDG_RUNTIME_DIR"] = "/run/user/1000";
  EXPECT_EQ(TSingleInstance::socketPath(env, paths), "/run/user/1000/ostrel-stream.socket");
}

// Before the application object: the arguments of the autostart entry and of a restart, and
// the X11 platform in a Wayland session unless the user chose one.
TEST(StartupChoices, ArgumentsAndPlatform) {
  struct TCase {
    const char* fault;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> env;
    bool autostart, restarted;
    std::optional<std::string> platform;
  };
  const std::map<std::string, std::string> wayland = {
      {"XDG_SESSION_TYPE", "wayland"}, {"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}};
  auto with = [&](std::map<std::string, std::string> more) {
    more.insert(wayland.begin(), wayland.end());
    return more;
  };
  const TCase cases[] = {
      {"started by hand on X11", {"ostrel-stream"}, {{"DISPLAY", ":0"}}, false, false, {}},
      {"started by the session", {"ostrel-stream", TAutostart::Argument}, {}, true, false, {}},
      {"started by a restart", {"ostrel-stream", RestartedArgument}, {}, false, true, {}},
      {"Wayland: XWayland is asked for", {"ostrel-stream"}, wayland, false, false, "xcb"},
      {"Wayland without XWayland: Qt chooses",
       {"ostrel-stream"},
       {{"XDG_SESSION_TYPE", "wayland"}},
       false,
       false,
       {}},
      {"the user's own choice stands",
       {"ostrel-stream"},
       with({{"QT_QPA_PLATFORM", "wayland"}}),
       false,
       false,
       {}},
      {"the program's name is no argument", {TAutostart::Argument}, {}, false, false, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TFakeEnv env;
    env.values = c.env;
    const TStartupChoices got = readStartupChoices(c.arguments, env);
    EXPECT_EQ(got.autostart, c.autostart);
    EXPECT_EQ(got.restarted, c.restarted);
    EXPECT_EQ(got.qtPlatform, c.platform);
  }
}

}  // namespace
