// The real program, started as a user starts it, against simulated panels on a private LAN.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "tests/e2e/E2eSupport.h"

namespace {

class StartupE2e : public TLanTest {
 protected:
  void SetUp() override {
    TLanTest::SetUp();
    if (IsSkipped()) return;
  }

  // The program with its interface chosen, so that start-up asks nothing.
  std::unique_ptr<TProgramRun> startProgram(const std::string& home) {
    auto run = std::make_unique<TProgramRun>(home);
    run->writeSettings({{"interfaceSelected", "\"" + lan->address(1) + "\""}});
    run->start(programNs);
    return run;
  }

  // panel-sim notify from the panel's namespace; returns its stdout.
  std::string notify(const std::vector<std::string>& message, int* status = nullptr) {
    std::vector<std::string> argv = {panelSimPath(), "notify", "--to", lan->address(1)};
    argv.insert(argv.end(), message.begin(), message.end());
    return runCommand(argv, status, panelNs);
  }

  QTemporaryDir dir;
};

}  // namespace

// A panel's notifications reach the running program: "ntmy" is answered with the host
// address and the panel is listed; "start" and "stop" are received and logged.
TEST_F(StartupE2e, PanelNotificationsReachTheProgram) {
  auto program = startProgram(dir.path().toStdString() + "/a");
  ASSERT_TRUE(program->waitForLog("Socket active port 2201")) << program->log();

  int status = -1;
  std::string reply = notify({"ntmy", lan->address(2)}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(reply.find("probing;" + lan->address(1)), std::string::npos) << reply;
  EXPECT_TRUE(program->waitForLog("sniffed IP : " + lan->address(2))) << program->log();
  EXPECT_NE(program->log().find("Remote current IP " + lan->address(2)), std::string::npos);

  notify({"start", "login", "pw", "8081", "100@" + lan->address(1), "200@" + lan->address(2)});
  EXPECT_TRUE(program->waitForLog("start received in server")) << program->log();
  notify({"stop"});
  EXPECT_TRUE(program->waitForLog("stop received")) << program->log();

  EXPECT_EQ(program->child().terminate(), 0) << program->child().errors();
}

// A second copy cannot open the port: it tells the user and ends at the session's end, and the
// first copy keeps serving panels all along.
TEST_F(StartupE2e, SecondCopyIsRefusedAndTheFirstKeepsServing) {
  auto first = startProgram(dir.path().toStdString() + "/first");
  ASSERT_TRUE(first->waitForLog("Socket active port 2201")) << first->log();
  auto second = startProgram(dir.path().toStdString() + "/second");
  ASSERT_TRUE(second->waitForErrors("Ostrel Stream: Socket en cours d'utilisation."))
      << second->child().errors();
  EXPECT_TRUE(second->waitForLog("Version ")) << second->log();

  std::string reply = notify({"ntmy", lan->address(2)});
  EXPECT_NE(reply.find("probing;" + lan->address(1)), std::string::npos) << reply;
  EXPECT_TRUE(first->waitForLog("sniffed IP : " + lan->address(2)));

  EXPECT_EQ(second->child().terminate(), 0);
  EXPECT_TRUE(second->waitForLog("Socket failed port 2201")) << second->log();
  EXPECT_TRUE(first->child().running());
  EXPECT_EQ(first->child().terminate(), 0);
}

// A machine without a network address: the program says so, never opens its port, and ends.
TEST_F(StartupE2e, NoNetworkAddressIsRefused) {
  auto isolated = lan->addIsolatedHost(3);
  ASSERT_TRUE(isolated);
  TProgramRun run(dir.path().toStdString() + "/isolated");
  run.start(*isolated);
  ASSERT_TRUE(run.waitForErrors("Ostrel Stream: Network error")) << run.child().errors();
  std::string listening = runCommand({"ss", "-ltn"}, nullptr, *isolated);
  EXPECT_EQ(listening.find(":2201"), std::string::npos) << listening;
  EXPECT_EQ(run.child().terminate(), 0);
  EXPECT_EQ(run.log().find("Socket active"), std::string::npos) << run.log();
}
