// The road of a call between the real program and simulated panels, each in a network
// namespace of its own: admission by SIP identity, the wait list, discovery and the favourite
// panel's stream request.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdio>

#include "tests/e2e/E2eSupport.h"

namespace {

// "é" as the log file holds it (UTF-8).
const std::string CalledMismatch = "*** Identit\xC3\xA9 appel\xC3\xA9 mismatch";
const std::string CallingMismatch = "*** Identit\xC3\xA9 appelant mismatch";

// The favourite button sits at (23, 280) of the client area, 24 x 25; the client area starts under
// the menu bar, whose height depends on the style. Aiming at the button's middle leaves room for a
// menu bar between 10 and 34 pixels high.
constexpr int FavouriteButtonX = 23 + 12;
constexpr int FavouriteButtonY = 22 + 280 + 12;
// The wait-list grid fills its window: columns 200, 20 and 20 wide, rows 24 high.
constexpr int WatchIconX = 200 + 10;
constexpr int FirstRowY = 12;

std::string text(const std::string& value) { return "\"" + value + "\""; }

std::string dword(unsigned value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "dword:%08x", value);
  return buffer;
}

std::size_t countOf(const std::string& haystack, const std::string& needle) {
  std::size_t count = 0;
  for (auto at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + needle.size()))
    ++count;
  return count;
}

class CallsE2e : public TLanTest {
 protected:
  void SetUp() override {
    TLanTest::SetUp();
    if (IsSkipped()) return;
  }

  void TearDown() override {
    // Screenshots, logs and outputs stay for whoever reads the failure.
    if (HasFailure()) {
      dir.setAutoRemove(false);
      std::printf("kept for inspection: %s\n", dir.path().toStdString().c_str());
    }
  }

  std::string programAddress() const { return lan->address(1); }
  std::string panelAddress() const { return lan->address(2); }
  std::string path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }

  // The program with its interface chosen (start-up asks nothing) and English texts.
  std::unique_ptr<TProgramRun> startProgram(std::map<std::string, std::string> settings,
                                            const TXServer* x = nullptr) {
    auto run = std::make_unique<TProgramRun>(path("program"));
    settings["interfaceSelected"] = text(programAddress());
    settings["language"] = text("EN");
    run->writeSettings(settings);
    if (x != nullptr)
      run->startOnDisplay(programNs, x->display());
    else
      run->start(programNs);
    return run;
  }

  // panel-sim serve in a namespace, once it listens.
  std::unique_ptr<TChild> startPanel(const std::string& ns, const std::vector<std::string>& options,
                                     const std::string& name, const std::string& ready) {
    std::vector<std::string> argv = {panelSimPath(), "serve"};
    argv.insert(argv.end(), options.begin(), options.end());
    auto panel =
        std::make_unique<TChild>(argv, std::map<std::string, std::string>{}, ns, path(name));
    pollUntil([&] { return panel->output().find(ready) != std::string::npos; },
              std::chrono::seconds(10));
    return panel;
  }

  // A scrambled notification from a panel's namespace, as the panel sends it.
  void notify(const std::string& ns, const std::vector<std::string>& message) {
    std::vector<std::string> argv = {panelSimPath(), "notify", "--to", programAddress()};
    argv.insert(argv.end(), message.begin(), message.end());
    int status = -1;
    runCommand(argv, &status, ns);
    EXPECT_EQ(status, 0) << "panel-sim notify could not reach the program";
  }

  static bool waitForOutput(TChild& child, const std::string& needle,
                            std::chrono::milliseconds deadline = std::chrono::seconds(15)) {
    return pollUntil([&] { return child.output().find(needle) != std::string::npos; }, deadline);
  }

  // An X server for the tests that click; nothing (and `why`) when it cannot be had.
  std::unique_ptr<TXServer> startXServer(std::string& why) {
    if (!TXServer::canClick()) {
      why = "xdotool is not installed";
      return nullptr;
    }
    return TXServer::start(path("xvfb"), why);
  }

  static std::optional<std::string> waitForWindow(const TXServer& x, const std::string& title) {
    std::optional<std::string> window;
    pollUntil([&] { return (window = x.findWindow(title)).has_value(); }, std::chrono::seconds(15));
    return window;
  }

  QTemporaryDir dir;
};

}  // namespace

// An admitted call fetches the calling panel's video with the credentials the call carried, and
// the same panel's "stop" ends it.
TEST_F(CallsE2e, AdmittedCallShowsTheVideoAndItsStopEndsIt) {
  auto panel = startPanel(
      panelNs,
      {"--video", "8081", "--bind", panelAddress(), "--login", "door", "--password", "secret"},
      "panel", "video: listening");
  auto program = startProgram(
      {{"SIPID", text("100@" + programAddress())}, {"CallingList", text("200@" + panelAddress())}});
  ASSERT_TRUE(program->waitForLog("Socket active port 2201")) << program->log();

  notify(panelNs,
         {"start", "door", "secret", "8081", "100@" + programAddress(), "200@" + panelAddress()});
  ASSERT_TRUE(program->waitForLog("Streaming Address: " + panelAddress())) << program->log();
  EXPECT_TRUE(program->waitForLog("Request sent, spawning decoder thread")) << program->log();
  // Wrong credentials would be refused with 401 before the GET is logged.
  EXPECT_TRUE(waitForOutput(*panel, "GET /?action=streaming")) << panel->output();

  notify(panelNs, {"stop"});
  EXPECT_TRUE(program->waitForLog("MJPEGDecoder disconnected")) << program->log();
  EXPECT_TRUE(waitForOutput(*panel, "disconnected after")) << panel->output();
  EXPECT_EQ(program->child().terminate(), 0) << program->child().errors();
}

// A call meant for another workstation, or from a caller not listed, shows nothing and the log
// says which identity failed; a listed caller afterwards is still admitted, so the program went
// on judging calls afresh.
TEST_F(CallsE2e, WrongIdentitiesShowNothingAndSayWhy) {
  auto panel = startPanel(panelNs, {"--video", "8081", "--bind", panelAddress()}, "panel",
                          "video: listening");
  auto program =
      startProgram({{"SIPID", text("100@" + programAddress())},
                    {"CallingList", text("200@" + panelAddress() + ";300@" + panelAddress())}});
  ASSERT_TRUE(program->waitForLog("Socket active port 2201")) << program->log();

  struct TCase {
    const char* what;
    std::string called, calling, expected;
  };
  const TCase cases[] = {
      {"called identity of another workstation", "999@" + programAddress(), "200@" + panelAddress(),
       CalledMismatch},
      {"caller not in the list", "100@" + programAddress(), "999@" + panelAddress(),
       CallingMismatch},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::size_t before = countOf(program->log(), c.expected);
    notify(panelNs, {"start", "login", "pw", "8081", c.called, c.calling});
    EXPECT_TRUE(pollUntil([&] { return countOf(program->log(), c.expected) > before; }))
        << program->log();
  }

  // The second entry of the list is a listed caller too.
  notify(panelNs,
         {"start", "login", "pw", "8081", "100@" + programAddress(), "300@" + panelAddress()});
  ASSERT_TRUE(program->waitForLog("Streaming Address: " + panelAddress())) << program->log();
  ASSERT_TRUE(waitForOutput(*panel, "GET /?action=streaming")) << panel->output();
  std::string log = program->log();
  EXPECT_EQ(countOf(log, "launchStream called"), 1u) << log;
  EXPECT_EQ(countOf(log, "Streaming Address: "), 1u) << log;
  EXPECT_EQ(countOf(panel->output(), " connected"), 1u) << panel->output();
  EXPECT_EQ(program->child().terminate(), 0) << program->child().errors();
}

// While panel A is watched, panel B's call waits in the list instead of taking the screen;
// picking it with the watch icon switches the video to B.
TEST_F(CallsE2e, SecondCallerWaitsAndPickingItSwitchesTheVideo) {
  auto secondNs = lan->addHost(3);
  ASSERT_TRUE(secondNs) << "cannot make a network namespace for the second panel";
  const std::string second = lan->address(3);
  auto panelA = startPanel(panelNs, {"--video", "8081", "--bind", panelAddress()}, "panelA",
                           "video: listening");
  auto panelB =
      startPanel(*secondNs, {"--video", "8082", "--bind", second}, "panelB", "video: listening");
  std::string noX;
  auto x = startXServer(noX);
  auto program = startProgram({{"warningOnCall", dword(1)}}, x.get());
  ASSERT_TRUE(program->waitForLog("Socket active port 2201")) << program->log();

  notify(panelNs, {"start", "login", "pw", "8081"});
  ASSERT_TRUE(program->waitForLog("Streaming Address: " + panelAddress())) << program->log();
  ASSERT_TRUE(waitForOutput(*panelA, "GET /?action=streaming")) << panelA->output();

  notify(*secondNs, {"start", "login", "pw", "8082"});
  ASSERT_TRUE(program->waitForLog(second + " added to waitList")) << program->log();
  // Admission decides within one notification: a call that waits never took the screen.
  EXPECT_EQ(program->log().find("Streaming Address: " + second), std::string::npos)
      << program->log();
  EXPECT_EQ(panelB->output().find(" connected"), std::string::npos) << panelB->output();

  if (!x) GTEST_SKIP() << "picking from the wait list needs clicks on an X server: " << noX;
  auto waitWindow = waitForWindow(*x, "Wait list");
  ASSERT_TRUE(waitWindow) << "the wait-list window did not come up";
  ASSERT_TRUE(x->click(*waitWindow, WatchIconX, FirstRowY));
  EXPECT_TRUE(program->waitForLog("addr: " + second)) << program->log();
  EXPECT_TRUE(waitForOutput(*panelB, "GET /?action=streaming")) << panelB->output();
  EXPECT_TRUE(waitForOutput(*panelA, "disconnected after")) << panelA->output();
  EXPECT_EQ(program->child().terminate(), 0) << program->child().errors();
}

// The start-up discovery broadcast reaches a panel, whose "ntmy" answer lists it and lights the
// detection LED.
TEST_F(CallsE2e, DiscoveryFindsThePanelAndLightsTheLed) {
  // Not bound to its address: a socket bound to a unicast address hears no broadcast.
  auto panel = startPanel(panelNs, {"--video", "0", "--discovery", "--announce", panelAddress()},
                          "panel", "discovery: listening");
  auto program = startProgram({});

  // The broadcast form: from the interface's own port 22451, no line end after "streamer".
  EXPECT_TRUE(waitForOutput(*panel, "discovery: \"" + programAddress() + ";streamer\" from " +
                                        programAddress() + ":22451"))
      << panel->output();
  ASSERT_TRUE(program->waitForLog("sniffed IP : " + panelAddress())) << program->log();
  ASSERT_TRUE(program->waitForLog("Switching LED")) << program->log();
  std::string log = program->log();
  EXPECT_LT(log.find("sniffed IP : " + panelAddress()), log.find("Switching LED")) << log;
  EXPECT_EQ(program->child().terminate(), 0) << program->child().errors();
}

// The favourite button asks the priority panel for its stream with "favstream" and the panel's
// answer brings its video up.
TEST_F(CallsE2e, FavouriteButtonBringsUpThePriorityPanel) {
  std::string why;
  auto x = startXServer(why);
  if (!x) GTEST_SKIP() << "the favourite button can only be clicked on an X server: " << why;
  auto panel = startPanel(panelNs,
                          {"--video", "8081", "--bind", panelAddress(), "--signal", "--login",
                           "door", "--password", "secret"},
                          "panel", "signal: listening");
  auto program =
      startProgram({{"platines", text(panelAddress())}, {"priority", dword(0)}}, x.get());
  ASSERT_TRUE(program->waitForLog("Socket active port 2201")) << program->log();
  auto window = waitForWindow(*x, "Ostrel Stream");
  ASSERT_TRUE(window) << "the main window did not come up";

  ASSERT_TRUE(x->click(*window, FavouriteButtonX, FavouriteButtonY));
  EXPECT_TRUE(waitForOutput(*panel, "asked favstream;" + programAddress() + ";"))
      << panel->output();
  EXPECT_TRUE(program->waitForLog("start received in client")) << program->log();
  EXPECT_TRUE(program->waitForLog("Streaming Address: " + panelAddress())) << program->log();
  // The answer carried the credentials the video server asks for.
  EXPECT_TRUE(waitForOutput(*panel, "GET /?action=streaming")) << panel->output();
  EXPECT_EQ(program->child().terminate(), 0) << program->child().errors();
}
