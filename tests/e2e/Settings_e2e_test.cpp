// The settings window on a real desktop: opened with Ctrl+O, edited with the mouse and the
// keyboard, and the restart an interface change asks for.
#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>
#include <thread>

#include "tests/e2e/DesktopSupport.h"

namespace {

class SettingsE2e : public TDesktopLanTest {
 protected:
  void SetUp() override {
    if (!TXServer::canClick()) GTEST_SKIP() << "xdotool is not installed";
    TDesktopLanTest::SetUp();
  }

  void TearDown() override {
    TDesktopLanTest::TearDown();
    // A copy started by the restart is not our child: end whatever still runs in our namespace.
    if (!programNs.empty()) {
      std::istringstream pids(runCommand({"ip", "netns", "pids", programNs}));
      for (int pid = 0; pids >> pid;) kill(pid, SIGKILL);
    }
  }

  std::string waitForWindow(const std::string& title) {
    std::string id;
    pollUntil([&] {
      auto found = desktop->findWindow(title);
      if (!found || desktop->wmState(*found) != "Normal") return false;
      id = *found;
      return true;
    });
    return id;
  }

  // Ctrl+O on the main window, then the addresses tab: a click in the called identity field
  // puts the focus inside the tabs, where Ctrl+Tab moves to the next one.
  std::string openAddressesTab(const std::string& mainWindow) {
    EXPECT_TRUE(desktop->type(mainWindow, "ctrl+o"));
    const std::string settings = waitForWindow("Settings");
    if (settings.empty()) return settings;
    EXPECT_TRUE(desktop->x().click(settings, 250, 80));
    EXPECT_TRUE(desktop->type(settings, "ctrl+Tab"));
    return settings;
  }

  void typeText(const std::string& text) {
    runCommand({"env", "DISPLAY=" + desktop->display(), "xdotool", "type", "--delay", "20", text});
  }

  std::string storedSettings() const {
    return readText(program->home() + "/config/Halvex/HalvexStream.reg");
  }
  static std::string readText(const std::string& file) { return runCommand({"cat", file}); }

  std::unique_ptr<TProgramRun> program;
};

}  // namespace

TEST_F(SettingsE2e, CtrlOOpensTheSettingsAndApplyStoresATypedAddress) {
  program = std::make_unique<TProgramRun>(path("program"));
  program->writeSettings({{"interfaceSelected", "\"" + lan->address(1) + "\""}});
  program->startOnDisplay(programNs, desktop->display());
  ASSERT_TRUE(program->waitForLog("Socket active port 2201")) << program->log();
  const std::string mainWindow = waitForWindow("Ostrel Stream");
  ASSERT_FALSE(mainWindow.empty());

  const std::string settings = openAddressesTab(mainWindow);
  ASSERT_FALSE(settings.empty()) << "Ctrl+O showed no settings window";
  ASSERT_TRUE(desktop->x().click(settings, 150, 115));  // the address field
  typeText(lan->address(2));
  ASSERT_TRUE(desktop->x().click(settings, 288, 302));  // Apply
  EXPECT_TRUE(pollUntil([&] {
    return storedSettings().find("\"platines\"=\"" + lan->address(2) + "\"") != std::string::npos;
  })) << storedSettings();
}

// The old copy closes its listener before the new one starts, so the new one is not refused
// as a second copy, and it comes back on the interface just chosen.
TEST_F(SettingsE2e, AnInterfaceChangeRestartsTheProgramOnTheNewInterface) {
  const std::string second = lan->address(3);
  int status = -1;
  runCommand({"ip", "addr", "add", second + "/24", "dev", "eth0"}, &status, programNs);
  ASSERT_EQ(status, 0) << "no second address for the program's host";

  program = std::make_unique<TProgramRun>(path("program"));
  program->writeSettings({{"interfaceSelected", "\"" + lan->address(1) + "\""}});
  program->startOnDisplay(programNs, desktop->display());
  ASSERT_TRUE(program->waitForLog("Socket active port 2201")) << program->log();
  const std::string mainWindow = waitForWindow("Ostrel Stream");
  ASSERT_FALSE(mainWindow.empty());

  const std::string settings = openAddressesTab(mainWindow);
  ASSERT_FALSE(settings.empty()) << "Ctrl+O showed no settings window";
  // The interface list: its second entry, then Yes (the default button) to the question.
  ASSERT_TRUE(desktop->x().click(settings, 80, 227));
  runCommand({"env", "DISPLAY=" + desktop->display(), "xdotool", "key", "--delay", "200", "Down",
              "Return"});
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  runCommand({"env", "DISPLAY=" + desktop->display(), "xdotool", "key", "Return"});

  EXPECT_TRUE(program->child().waitExit(std::chrono::seconds(20))) << "the old copy did not end";
  EXPECT_TRUE(pollUntil([&] {
    return storedSettings().find("\"interfaceSelected\"=\"" + second + "\"") != std::string::npos;
  })) << storedSettings();
  // The new copy empties the log and opens its own listener, then announces itself from the
  // new interface.
  EXPECT_TRUE(program->waitForLog(second + " is sending broadcast", std::chrono::seconds(30)))
      << program->log();
  EXPECT_NE(program->log().find("Socket active port 2201"), std::string::npos) << program->log();
  EXPECT_EQ(program->log().find("Socket failed port 2201"), std::string::npos) << program->log();
  const std::string listening =
      runCommand({"ss", "-ltnH", "sport", "=", ":2201"}, nullptr, programNs);
  EXPECT_NE(listening.find("2201"), std::string::npos) << listening;
}
