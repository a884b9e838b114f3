#include "video/StreamController.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "core/AppSettings.h"
#include "core/UiTexts.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/RecordingVideoWindow.h"
#include "tests/video/MJPEGTestSupport.h"

namespace {

using TShared = TVideoDisplay::TBytes;

const std::string StreamHeader =
    "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=b\r\n\r\n";
const std::string HtmlHeader = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n";
const std::string Retrying = "******* Stream isn't running, yet it should, retrying...";
const std::string CouldNotConnect = "**** Could not connect to server";

std::string part(const TBytes& jpeg) {
  return "--b\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(jpeg.size()) +
         "\r\n\r\n" + asText(jpeg) + "\r\n";
}

class TRequests final : public IStreamRequests {
 public:
  std::vector<std::string> favourite, manual;
  void favouriteRequest(const std::string& address) override { favourite.push_back(address); }
  void manualRequest(const std::string& address) override { manual.push_back(address); }
};

// panel-sim serving video on loopback, as a real panel would. Started with posix_spawn (Qt's
// process launcher aborts ThreadSanitizer builds), its output going to a file read back here.
class TSimPanel {
 public:
  explicit TSimPanel(std::vector<std::string> extra) {
    std::vector<std::string> args{path(), "serve", "--video", "0", "--bind", "127.0.0.1"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    m_output = m_dir.path().toStdString() + "/panel-sim.out";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int failed = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
      m_pid = -1;
      ADD_FAILURE() << "cannot start " << args[0];
      return;
    }
    const std::string prefix = "video: listening on 127.0.0.1:";
    EXPECT_TRUE(waitUntil([&] { return output().find(prefix) != std::string::npos; }));
    const std::string out = output();
    if (const auto at = out.find(prefix); at != std::string::npos)
      m_port = std::atoi(out.c_str() + at + prefix.size());
  }
  ~TSimPanel() {
    if (m_pid < 0) return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
  }
  TSimPanel(const TSimPanel&) = delete;
  TSimPanel& operator=(const TSimPanel&) = delete;

  std::string port() const { return std::to_string(m_port); }
  // How many stream requests the panel has answered so far.
  int requests() const {
    const std::string out = output();
    int count = 0;
    for (auto at = out.find(" GET /?action=streaming"); at != std::string::npos;
         at = out.find(" GET /?action=streaming", at + 1))
      ++count;
    return count;
  }

 private:
  static std::string path() {
#ifdef PANEL_SIM_PATH
    return PANEL_SIM_PATH;
#else
    const char* build = std::getenv("OSTREL_BUILD_DIR");
    return std::string(build != nullptr ? build : ".") + "/tools/panel-sim/panel-sim";
#endif
  }
  std::string output() const {
    std::ifstream in(m_output, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  QTemporaryDir m_dir;
  std::string m_output;
  pid_t m_pid = -1;
  int m_port = 0;
};

class StreamControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    settings.interfaceSelected = "127.0.0.1";
    setLanguage("EN");
    m_logStart = log.texts().size();
    env.values["TMP"] = tmp.path().toStdString();
    display = std::make_unique<TVideoDisplay>(window, settings, clock, env, idle, idle);
    controller = std::make_unique<TStreamController>(window, *display, dialogs, settings, clock,
                                                     decoderFactory());
    controller->setStreamRequests(&requests);
  }
  void TearDown() override { controller.reset(); }
  virtual TStreamController::TDecoderFactory decoderFactory() {
    return TStreamController::realDecoders();
  }
  // The current decoder's header exchange has been handled.
  bool settled() {
    return waitUntil([&] { return !controller->decoder().Connecting(); });
  }

  TStreamTarget targetAt(const std::string& port, const std::string& name = "Porte 1") {
    return TStreamTarget{"127.0.0.1", name, "admin", "secret", port};
  }
  void launch(const TStreamTarget& target) {
    controller->setTarget(target);
    controller->launchStream();
  }
  // What the test's actions logged.
  std::vector<std::string> lines() const {
    const auto all = log.texts();
    return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(m_logStart),
                                    all.end());
  }
  std::size_t count(const std::string& text) const {
    const auto all = lines();
    return static_cast<std::size_t>(std::count(all.begin(), all.end(), text));
  }
  bool shows(const TBytes& frame) const { return window.picture && *window.picture == frame; }
  std::vector<std::string> snapshots() const {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(tmp.path().toStdString()))
      if (entry.path().filename().string().rfind("snapshot-", 0) == 0)
        paths.push_back(entry.path().string());
    return paths;
  }

  TAppSettings settings;
  TCapturedLog log;
  TFakeClock clock;
  TFakeEnv env;
  QTemporaryDir tmp;
  TRecordingVideoWindow window;
  TRecordingDialogs dialogs;
  TRequests requests;
  const TShared idle = share(makeJpeg(40, 30));
  const TBytes jpegA = makeJpeg(64, 48, [](int x, int) { return x < 32 ? 0x2020C0u : 0x20C020u; });
  const TBytes jpegB = makeJpeg(32, 24, [](int, int y) { return y < 12 ? 0xFFFFFFu : 0u; });
  std::unique_ptr<TVideoDisplay> display;
  std::unique_ptr<TStreamController> controller;

 private:
  std::size_t m_logStart = 0;
};

TEST_F(StreamControllerTest, WithoutAConfiguredInterfaceNothingStarts) {
  settings.interfaceSelected.clear();
  TIdleListener panel;
  const auto before = window.visible;
  launch(targetAt(std::to_string(panel.port())));
  controller->watchdogStep();

  EXPECT_EQ(lines(), std::vector<std::string>{
                         "Default interface is not configured, we won't start this stream."});
  EXPECT_FALSE(controller->StreamWanted());
  EXPECT_EQ(window.visible, before);
  EXPECT_TRUE(window.captions.empty());
  EXPECT_FALSE(panel.hasPendingConnection()) << "nobody connects to the panel";
}

TEST_F(StreamControllerTest, StreamShowsFramesAndStopReturnsToTheIdleLook) {
  settings.autoSnap = 1;
  TScriptedServer panel(StreamHeader + part(jpegA));
  launch(targetAt(std::to_string(panel.port())));

  EXPECT_TRUE(controller->StreamWanted());
  ASSERT_TRUE(settled());
  EXPECT_TRUE(controller->decoder().Connected());
  EXPECT_EQ(window.caption, "Porte 1");
  EXPECT_TRUE(window.visible[EVideoControl::PanelCaption]);
  for (EVideoControl button : {EVideoControl::StopButton, EVideoControl::SnapshotButton,
                               EVideoControl::VoiceMessageButton})
    EXPECT_TRUE(window.enabled[button]);
  ASSERT_TRUE(waitUntil([&] { return shows(jpegA); }));
  EXPECT_EQ(panel.received(),
            "GET /?action=streaming HTTP/1.1\r\nAuthorization: Basic YWRtaW46c2VjcmV0\r\n\r\n");
  const auto logged = lines();
  ASSERT_GE(logged.size(), 4u);
  EXPECT_EQ((std::vector<std::string>(logged.begin(), logged.begin() + 4)),
            (std::vector<std::string>{"launchStream called", "addr: 127.0.0.1",
                                      "Connected, sending request",
                                      "Request sent, spawning decoder thread"}));

  // The automatic snapshot is the frame exactly as it came over the wire, once.
  auto files = snapshots();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(readBytes(files[0]), jpegA);
  clock.local.second += 1;
  panel.send(part(jpegB));
  ASSERT_TRUE(waitUntil([&] { return shows(jpegB); }));
  EXPECT_EQ(snapshots().size(), 1u);

  controller->onStopClicked();
  EXPECT_FALSE(controller->StreamWanted());
  EXPECT_FALSE(controller->decoder().Connected());
  EXPECT_EQ(count("MJPEGDecoder disconnected"), 1u);
  EXPECT_EQ(window.caption, "0.0.0.0");
  EXPECT_FALSE(window.visible[EVideoControl::PanelCaption]);
  EXPECT_FALSE(window.enabled[EVideoControl::StopButton]);
  EXPECT_FALSE(window.enabled[EVideoControl::SnapshotButton]);
  EXPECT_TRUE(window.enabled[EVideoControl::VoiceMessageButton]) << "voice message keeps its state";
  EXPECT_EQ(window.picture, idle);
  EXPECT_TRUE(panel.waitClientClosed());

  // Stopped means stopped: the watchdog leaves it alone.
  controller->watchdogStep();
  EXPECT_EQ(count(Retrying), 0u);
}

TEST_F(StreamControllerTest, EveryConnectionTakesItsOwnAutomaticSnapshot) {
  settings.autoSnap = 1;
  {
    TScriptedServer first(StreamHeader + part(jpegA));
    launch(targetAt(std::to_string(first.port())));
    ASSERT_TRUE(waitUntil([&] { return shows(jpegA); }));
  }
  // The stream broke; the watchdog connects again, and the new connection is saved too.
  ASSERT_TRUE(waitUntil([&] { return !controller->decoder().Connected(); }));
  clock.local.second += 1;
  TScriptedServer second(StreamHeader + part(jpegB));
  TStreamTarget next = controller->target();
  next.Port = std::to_string(second.port());
  controller->setTarget(next);
  clock.advance(TStreamController::RetryGap);
  controller->watchdogStep();
  ASSERT_TRUE(waitUntil([&] { return shows(jpegB); }));

  auto files = snapshots();
  std::sort(files.begin(), files.end());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(readBytes(files[0]), jpegA);
  EXPECT_EQ(readBytes(files[1]), jpegB);
}

TEST_F(StreamControllerTest, ManualSnapshotBeforeTheFirstFrameSuppressesTheAutomaticOne) {
  settings.autoSnap = 1;
  TScriptedServer panel(StreamHeader);
  launch(targetAt(std::to_string(panel.port())));
  ASSERT_TRUE(settled());
  ASSERT_TRUE(controller->decoder().Connected());
  ASSERT_TRUE(display->onSnapshotClicked());
  clock.local.second += 1;
  panel.send(part(jpegA));
  ASSERT_TRUE(waitUntil([&] { return shows(jpegA); }));

  const auto files = snapshots();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(readBytes(files[0]), *idle) << "only the hand-taken snapshot exists";
}

TEST_F(StreamControllerTest, PanelAnsweringAWrongContentTypeIsRetriedWithAFreshDecoder) {
  TSimPanel panel({"--content-type", "text/html"});
  ASSERT_NE(panel.port(), "0");
  launch(targetAt(panel.port()));
  ASSERT_TRUE(settled());
  ASSERT_TRUE(controller->decoder().BadContentType());

  for (int step = 1; step <= 3; ++step) {
    clock.advance(TStreamController::RetryGap);
    controller->watchdogStep();
    // A decoder that kept BadContentType would show the dialog instead of connecting.
    EXPECT_TRUE(waitUntil([&] { return panel.requests() == step + 1; })) << step;
    EXPECT_TRUE(settled());
  }
  pumpEvents(std::chrono::milliseconds(50));
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(count("**** Invalid content type received from server:  text/html"), 4u);
}

TEST_F(StreamControllerTest, SwitchingPanelsDisconnectsNowAndConnectsTheNewOneAtTheNextStep) {
  TScriptedServer first(StreamHeader + part(jpegA));
  launch(targetAt(std::to_string(first.port()), "Porte 1"));
  ASSERT_TRUE(waitUntil([&] { return shows(jpegA); }));
  controller->watchdogStep();
  EXPECT_EQ(count(Retrying), 0u) << "a running stream is left alone";

  TScriptedServer second(StreamHeader + part(jpegB));
  launch(targetAt(std::to_string(second.port()), "Porte 2"));
  EXPECT_EQ(count("Decoder already connected ****"), 1u);
  EXPECT_FALSE(controller->decoder().Connected());
  EXPECT_TRUE(first.waitClientClosed());
  EXPECT_EQ(second.received(), "") << "the new panel waits for the watchdog";

  controller->watchdogStep();
  ASSERT_TRUE(waitUntil([&] { return shows(jpegB); }));
  EXPECT_EQ(window.caption, "Porte 2");
  EXPECT_TRUE(controller->decoder().Connected());
}

TEST_F(StreamControllerTest, PortThatIsNotANumberIsLoggedAndRetried) {
  for (const std::string port :
       {"80a", "", " 8080", "8080 ", "+80", "0", "0000", "65536", "065536", "-1", "99999999999"}) {
    SCOPED_TRACE("port \"" + port + "\"");
    launch(targetAt(port));
    EXPECT_EQ(count("**** Invalid port: " + port), 1u);
    EXPECT_TRUE(controller->StreamWanted());
    controller->watchdogStep();
    EXPECT_EQ(count("**** Invalid port: " + port), 2u);
    controller->stopStream();
  }
  EXPECT_EQ(TStreamController::portNumber("8080"), 8080);
  EXPECT_EQ(TStreamController::portNumber("1"), 1);
  EXPECT_EQ(TStreamController::portNumber("65535"), 65535);
  // Any decimal text of a value from 1 to 65535 is a port, leading zeros included.
  EXPECT_EQ(TStreamController::portNumber("0028417"), 28417);
  EXPECT_EQ(TStreamController::portNumber("00000000000000080"), 80);
  EXPECT_EQ(TStreamController::portNumber("065535"), 65535);
}

TEST_F(StreamControllerTest, StopWhileIdleOnlyPutsTheIdlePictureBack) {
  window.picture = share(jpegA);
  controller->stopStream();
  EXPECT_EQ(window.picture, idle);
  EXPECT_EQ(count("MJPEGDecoder disconnected"), 0u);
  EXPECT_FALSE(display->FullScreenActive());
}

TEST_F(StreamControllerTest, FavouritePanelCommand) {
  struct TCase {
    const char* fault;
    std::string platines;
    int priority;
    std::optional<std::string> asked;  // nothing: the message is shown
  };
  const TCase cases[] = {
      {"the entry at the zero-based index", "192.168.1.20;192.168.1.21", 1, "192.168.1.21"},
      {"the first entry", "192.168.1.20;192.168.1.21", 0, "192.168.1.20"},
      {"an index past the list", "192.168.1.20;192.168.1.21", 2, std::nullopt},
      {"a negative index", "192.168.1.20", -1, std::nullopt},
      {"no addresses at all", "", 0, std::nullopt},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TRefusingPort panel;
    launch(targetAt(std::to_string(panel.port())));
    ASSERT_TRUE(controller->StreamWanted());
    settings.platines = c.platines;
    settings.priority = c.priority;
    requests.favourite.clear();
    dialogs.shown.clear();

    controller->onFavouriteClicked();
    EXPECT_FALSE(controller->StreamWanted()) << "the current stream is stopped first";
    if (c.asked) {
      EXPECT_EQ(requests.favourite, std::vector<std::string>{*c.asked});
      EXPECT_TRUE(dialogs.shown.empty());
    } else {
      EXPECT_TRUE(requests.favourite.empty());
      ASSERT_EQ(dialogs.shown.size(), 1u);
      EXPECT_EQ(dialogs.shown[0].text, "No priority address found.");
      EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::None);
    }
  }
}

TEST_F(StreamControllerTest, ManualStreamAsksForAnAddressAndKeepsTheCurrentStream) {
  TRefusingPort panel;
  launch(targetAt(std::to_string(panel.port())));

  dialogs.typed = {"192.168.1.77", std::nullopt};
  controller->onManualStreamTriggered();
  controller->onManualStreamTriggered();

  ASSERT_EQ(dialogs.inputs.size(), 2u);
  EXPECT_EQ(dialogs.inputs[0].title, "Adresse");
  EXPECT_EQ(dialogs.inputs[0].prompt, "Adresse de la platine:");
  EXPECT_EQ(dialogs.inputs[0].initial, "192.168.1.0");
  EXPECT_EQ(requests.manual, (std::vector<std::string>{"192.168.1.77"}))
      << "a cancelled box asks nothing, not even the pre-filled address";
  EXPECT_TRUE(controller->StreamWanted()) << "the panel's answer switches streams";
}

TEST_F(StreamControllerTest, WithoutTheOutgoingClientTheRequestsAreLogged) {
  controller->setStreamRequests(nullptr);
  settings.platines = "192.168.1.20";
  controller->onFavouriteClicked();
  const auto logged = lines();
  ASSERT_FALSE(logged.empty());
  EXPECT_NE(logged.back().find("192.168.1.20"), std::string::npos) << logged.back();
}

TEST_F(StreamControllerTest, FocusWindowRestoresOrRaisesOnlyAWindowWithThatCaption) {
  struct TCase {
    const char* fault;
    IVideoWindow::ETopLevel state;
    std::string caption;
    std::vector<std::string> calls;
  };
  const TCase cases[] = {
      {"a minimised window is restored",
       IVideoWindow::ETopLevel::Minimised,
       "Ostrel Stream",
       {"restore:Ostrel Stream"}},
      {"a shown window comes to the front",
       IVideoWindow::ETopLevel::Shown,
       "Ostrel Stream",
       {"front:Ostrel Stream"}},
      {"the caption must match exactly", IVideoWindow::ETopLevel::Shown, "ostrel stream", {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    window.mainState = c.state;
    window.focusCalls.clear();
    controller->focusWindow(c.caption);
    EXPECT_EQ(window.focusCalls, c.calls);
  }
}

// A decoder whose panel the test plays by hand: what it was asked, and each outcome on cue.
class TScriptedDecoder final : public IMJPEGDecoder {
 public:
  struct TConnect {
    std::string address;
    int port;
    std::string login, password;
  };
  explicit TScriptedDecoder(std::vector<TConnect>& connects) : m_connects(connects) {}

  void Connect(const std::string& address, int port, const std::string&, const std::string& login,
               const std::string& password) override {
    if (m_connected || m_connecting) return;
    m_connects.push_back({address, port, login, password});
    m_connecting = true;
  }
  void Disconnect() override { m_connected = m_connecting = false; }
  bool Connected() const override { return m_connected; }
  bool Connecting() const override { return m_connecting; }
  bool BadContentType() const override { return m_bad; }

  // The panel's answers, as the real decoder reports them.
  void unreachable() { end({"Could not connect to server"}); }
  void refuse() {
    m_bad = true;
    end({"Invalid content type received from server:  text/html", "HTTP/1.0 401\r\n"});
  }
  void accept() {
    m_connecting = false;
    m_connected = true;
    if (OnMessage) OnMessage(*this, "Request sent, spawning decoder thread");
  }
  void lose() { end({"Decoder thread status code: 3 = Thread closed."}); }

 private:
  void end(const std::vector<std::string>& errors) {
    for (const std::string& text : errors)
      if (OnError) OnError(*this, text);
    m_connecting = m_connected = false;
    if (OnStopped) OnStopped(*this);
  }
  std::vector<TConnect>& m_connects;
  bool m_connected = false, m_connecting = false, m_bad = false;
};

class StreamControllerScriptedTest : public StreamControllerTest {
 protected:
  TStreamController::TDecoderFactory decoderFactory() override {
    return [this] {
      ++made;
      return std::make_unique<TScriptedDecoder>(connects);
    };
  }
  TScriptedDecoder& current() { return dynamic_cast<TScriptedDecoder&>(controller->decoder()); }
  TStreamTarget panelA{"10.0.0.2", "Porte A", "admin", "secret", "8081"};
  TStreamTarget panelB{"10.0.0.3", "Porte B", "guest", "other", "8082"};
  std::vector<TScriptedDecoder::TConnect> connects;
  int made = 0;
};

const std::string RefusedA =
    "Erreur lors de la tentative de connexion au flux vid\xE9o sur :\r\n"
    "Addr: 10.0.0.2\r\nport: 8081\r\nlogin: admin\r\npwd: \x95\x95\x95\x95\x95\x95";

// A start that finds the last reply refused: the box is about the panel that refused, shown once
// the handler that brought the start has returned, without the password; and the new panel is
// connected all the same.
TEST_F(StreamControllerScriptedTest, RefusedReplyBoxComesLaterAndTheNewStartGoesOn) {
  launch(panelA);
  current().refuse();
  ASSERT_TRUE(controller->StreamWanted());

  launch(panelB);  // a panel's answer to a manual request, before the watchdog's next step
  EXPECT_TRUE(dialogs.shown.empty()) << "no modal box inside the handler that started";
  ASSERT_EQ(connects.size(), 2u);
  EXPECT_EQ(connects[1].address, "10.0.0.3") << "the later start is not swallowed";
  EXPECT_EQ(connects[1].port, 8082);
  EXPECT_EQ(window.caption, "Porte B");
  EXPECT_FALSE(controller->decoder().BadContentType());

  ASSERT_TRUE(waitUntil([&] { return !dialogs.shown.empty(); }));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, RefusedA);
  EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::Error);
  EXPECT_EQ(dialogs.shown[0].buttons, EDialogButtons::Ok);
  EXPECT_TRUE(controller->StreamWanted()) << "closing the box stops nothing";
  EXPECT_TRUE(controller->decoder().Connecting());
}

// The crash's road: a refused call ends, then another panel calls. Nothing of the refused call
// is left: no box, and the new call is connected.
TEST_F(StreamControllerScriptedTest, CallAfterARefusedCallEndsStartsAfresh) {
  launch(panelA);
  current().refuse();
  controller->stopStream();  // the refused panel's "stop"

  controller->stopStream();  // admission stops before it starts
  launch(panelB);
  pumpEvents(std::chrono::milliseconds(50));
  EXPECT_TRUE(dialogs.shown.empty());
  ASSERT_EQ(connects.size(), 2u);
  EXPECT_EQ(connects[1].address, "10.0.0.3");
  EXPECT_EQ(connects[1].login, "guest");
  EXPECT_EQ(connects[1].password, "other");
  EXPECT_TRUE(controller->StreamWanted());
}

TEST_F(StreamControllerScriptedTest, RefusedReplyBoxNeverShowsThePassword) {
  for (const std::string& password :
       std::vector<std::string>{"", "p", "pa\xE9;x y", std::string(40, 'z')}) {
    TStreamTarget t = panelA;
    t.Password = password;
    const std::string text = TStreamController::refusedReplyText(t);
    const std::string tail = "\r\npwd: " + std::string(password.size(), '\x95');
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << password;
  }
}

// The watchdog leaves an attempt in progress alone, however long the panel takes, and starts
// the next one no earlier than RetryGap after the last one ended.
TEST_F(StreamControllerScriptedTest, WatchdogWaitsForTheAttemptAndThenAGap) {
  launch(panelA);
  for (int step = 0; step < 6; ++step) {
    clock.advance(std::chrono::seconds(1));
    controller->watchdogStep();
  }
  EXPECT_EQ(count(Retrying), 0u);
  EXPECT_EQ(connects.size(), 1u);

  struct TCase {
    const char* fault;
    std::function<void(TScriptedDecoder&)> end;
  };
  const TCase cases[] = {{"an unreachable panel", [](TScriptedDecoder& d) { d.unreachable(); }},
                         {"a refused reply", [](TScriptedDecoder& d) { d.refuse(); }},
                         {"a stream lost after it ran", [](TScriptedDecoder& d) {
                            d.accept();
                            d.lose();
                          }}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    const std::size_t before = connects.size();
    c.end(current());
    clock.advance(TStreamController::RetryGap - std::chrono::milliseconds(1));
    controller->watchdogStep();
    EXPECT_EQ(connects.size(), before) << "too early";
    clock.advance(std::chrono::milliseconds(1));
    controller->watchdogStep();
    ASSERT_EQ(connects.size(), before + 1);
    EXPECT_EQ(connects.back().address, "10.0.0.2");
    EXPECT_TRUE(dialogs.shown.empty());
  }
  const auto logged = lines();
  ASSERT_GE(logged.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(logged.end() - 3, logged.end()),
            (std::vector<std::string>{Retrying, "launchStream called", "addr: 10.0.0.2"}));
}

// A panel that refuses at once is tried again at every watchdog step, through the idle look,
// back to the front and full screen each time.
TEST_F(StreamControllerScriptedTest, RefusedConnectionIsRetriedOnceAWatchdogStep) {
  settings.autoFocus = 1;
  settings.autoFullScreen = 1;
  launch(panelA);
  current().unreachable();
  EXPECT_EQ(count(CouldNotConnect), 1u);
  EXPECT_TRUE(display->FullScreenActive());

  for (int step = 1; step <= 3; ++step) {
    SCOPED_TRACE(step);
    window.focusCalls.clear();
    window.captions.clear();
    clock.advance(std::chrono::seconds(1));
    controller->watchdogStep();
    current().unreachable();
    EXPECT_EQ(count(Retrying), static_cast<std::size_t>(step));
    EXPECT_EQ(count("launchStream called"), static_cast<std::size_t>(step + 1));
    EXPECT_TRUE(controller->StreamWanted());
    EXPECT_EQ(controller->target(), panelA);
    EXPECT_EQ(window.captions, (std::vector<std::string>{"0.0.0.0", "Porte A"}));
    EXPECT_EQ(window.focusCalls,
              (std::vector<std::string>{"restoreApplication", "front:Ostrel Stream"}));
    EXPECT_TRUE(display->FullScreenActive());
  }
  const auto logged = lines();
  EXPECT_EQ(std::vector<std::string>(logged.end() - 4, logged.end()),
            (std::vector<std::string>{Retrying, "launchStream called", "addr: 10.0.0.2",
                                      CouldNotConnect}));
  EXPECT_EQ(made, 1 + 3) << "every retry and every stop starts from a fresh decoder";

  controller->stopStream();
  EXPECT_FALSE(display->FullScreenActive());
  clock.advance(std::chrono::seconds(1));
  controller->watchdogStep();
  EXPECT_EQ(count(Retrying), 3u);
}

// Switching while an attempt is still under way abandons it; the watchdog connects the new one.
TEST_F(StreamControllerScriptedTest, SwitchingDuringAnAttemptAbandonsIt) {
  launch(panelA);
  launch(panelB);
  EXPECT_EQ(count("Decoder already connected ****"), 1u);
  EXPECT_FALSE(controller->decoder().Connecting());
  controller->watchdogStep();
  ASSERT_EQ(connects.size(), 2u);
  EXPECT_EQ(connects[1].address, "10.0.0.3");
}

}  // namespace
