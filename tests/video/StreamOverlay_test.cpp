// The texts over the video, driven by the stream controller's real events and a clock moved by
// hand: a frozen frame must never look live.
#include "video/StreamOverlay.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <functional>

#include "core/UiTexts.h"
#include "tests/support/Fakes.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/RecordingVideoWindow.h"
#include "tests/video/MJPEGTestSupport.h"
#include "video/StreamController.h"

namespace {

using namespace std::chrono_literals;

// A panel played by hand through the decoder's events.
class TPlayedDecoder final : public IMJPEGDecoder {
 public:
  void Connect(const std::string&, int, const std::string&, const std::string&,
               const std::string&) override {
    if (!m_connected) m_connecting = true;
  }
  void Disconnect() override { m_connected = m_connecting = false; }
  bool Connected() const override { return m_connected; }
  bool Connecting() const override { return m_connecting; }
  bool BadContentType() const override { return m_bad; }

  void accept() {
    m_connecting = false;
    m_connected = true;
  }
  void frame(const std::shared_ptr<const TBytes>& jpeg) {
    auto image = std::make_unique<TJPEGImage>();
    ASSERT_TRUE(image->load(jpeg));
    if (OnFrame) OnFrame(*this, std::move(image));
  }
  // The reply the real decoder refuses, reported with its two error texts.
  void refuse(const std::string& statusLine) {
    m_bad = true;
    end({"Invalid content type received from server: text/html",
         statusLine + "\r\nContent-Type: text/html\r\n"});
  }
  void lose() { end({"Decoder thread status code: 3 = Thread closed."}); }

 private:
  void end(const std::vector<std::string>& errors) {
    for (const std::string& text : errors)
      if (OnError) OnError(*this, text);
    m_connecting = m_connected = false;
    if (OnStopped) OnStopped(*this);
  }
  bool m_connected = false, m_connecting = false, m_bad = false;
};

class StreamOverlayTest : public ::testing::Test {
 public:
  void SetUp() override {
    ensureQtApplication();
    setLanguage("EN");
    settings.interfaceSelected = "127.0.0.1";
    env.values["TMP"] = tmp.path().toStdString();
    env.values["HOME"] = tmp.path().toStdString();
    display = std::make_unique<TVideoDisplay>(window, settings, clock, env, frame, frame);
    controller =
        std::make_unique<TStreamController>(window, *display, dialogs, settings, clock,
                                            [] { return std::make_unique<TPlayedDecoder>(); });
  }
  TPlayedDecoder& panel() { return dynamic_cast<TPlayedDecoder&>(controller->decoder()); }
  void call() {
    controller->setTarget({"10.0.0.2", "Hall", "admin", "secret", "8081"});
    controller->launchStream();
  }
  // The watchdog's next step, past its retry gap.
  void watchdog() {
    clock.advance(1s);
    controller->watchdogStep();
  }
  std::string status() const { return controller->overlay().statusText(); }

  TAppSettings settings;
  TCapturedLog log;
  TFakeClock clock;
  TFakeEnv env;
  QTemporaryDir tmp;
  TRecordingVideoWindow window;
  TRecordingDialogs dialogs;
  const std::shared_ptr<const TBytes> frame = share(makeJpeg(32, 24));
  std::unique_ptr<TVideoDisplay> display;
  std::unique_ptr<TStreamController> controller;
};

// Each case is a road through a call; after every step the text over the video must be the
// expected one.
TEST_F(StreamOverlayTest, TextFollowsTheStream) {
  using TStep = std::function<void(StreamOverlayTest&)>;
  const TStep ring = [](StreamOverlayTest& t) { t.call(); };
  const TStep accept = [](StreamOverlayTest& t) { t.panel().accept(); };
  const TStep frame = [](StreamOverlayTest& t) { t.panel().frame(t.frame); };
  const TStep lose = [](StreamOverlayTest& t) { t.panel().lose(); };
  const TStep watchdog = [](StreamOverlayTest& t) { t.watchdog(); };
  const TStep stop = [](StreamOverlayTest& t) { t.controller->stopStream(); };
  const auto wait = [](std::chrono::milliseconds by) {
    return TStep([by](StreamOverlayTest& t) { t.clock.advance(by); });
  };
  const auto refuse = [](std::string line) {
    return TStep([line](StreamOverlayTest& t) { t.panel().refuse(line); });
  };
  struct TCase {
    const char* name;  // and the fault it guards against
    std::vector<std::pair<TStep, std::string>> steps;
  };
  const TCase cases[] = {
      {"connecting until the first frame, then nothing over a live picture",
       {{ring, "Connecting..."}, {accept, "Connecting..."}, {frame, ""}}},
      {"a picture that stops is called lost after 2 s, with its age",
       {{ring, "Connecting..."},
        {accept, "Connecting..."},
        {frame, ""},
        {wait(1999ms), ""},
        {wait(1ms), "Video lost (2 s)"},
        {wait(1500ms), "Video lost (3 s)"}}},
      {"the restart at 5 s does not pretend to be a fresh connection; the next frame recovers",
       {{ring, "Connecting..."},
        {accept, "Connecting..."},
        {frame, ""},
        {wait(5s), "Video lost (5 s)"},
        {lose, "Video lost (5 s)"},
        {watchdog, "Video lost (6 s)"},
        {accept, "Video lost (6 s)"},
        {frame, ""}}},
      {"a 401 says access refused, through every retry, until a frame comes",
       {{ring, "Connecting..."},
        {refuse("HTTP/1.0 401 Unauthorized"), "Access refused (401)"},
        {watchdog, "Access refused (401)"},
        {refuse("HTTP/1.0 401"), "Access refused (401)"},
        {watchdog, "Access refused (401)"},
        {accept, "Access refused (401)"},
        {frame, ""}}},
      {"another refusal gives the panel's own reason",
       {{ring, "Connecting..."}, {refuse("HTTP/1.1 403 Forbidden"), "Refused (403 Forbidden)"}}},
      {"a refusal after frames is not hidden by an old frame's age",
       {{ring, "Connecting..."},
        {accept, "Connecting..."},
        {frame, ""},
        {lose, ""},
        {watchdog, ""},
        {refuse("HTTP/1.0 503 Service Unavailable"), "Refused (503 Service Unavailable)"},
        {wait(3s), "Refused (503 Service Unavailable)"}}},
      {"a stop leaves nothing over the idle picture, and a new call starts afresh",
       {{ring, "Connecting..."},
        {accept, "Connecting..."},
        {frame, ""},
        {wait(3s), "Video lost (3 s)"},
        {stop, ""},
        {wait(10s), ""},
        {ring, "Connecting..."}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      c.steps[i].first(*this);
      EXPECT_EQ(status(), c.steps[i].second) << "after step " << i;
    }
  }
}

// A request to a panel that fails says so over the picture for a while, stream or not.
TEST_F(StreamOverlayTest, FailedRequestsShowForAWhile) {
  struct TCase {
    ERequestFailure why;
    std::string text;
  };
  for (const TCase& c : {TCase{ERequestFailure::Unreachable, "Panel unreachable"},
                         TCase{ERequestFailure::Refused, "Refused"}}) {
    SetUp();
    controller->overlay().requestFailed(c.why);
    EXPECT_EQ(status(), c.text);
    clock.advance(TStreamOverlay::FailureShownFor - 1ms);
    EXPECT_EQ(status(), c.text);
    clock.advance(1ms);
    EXPECT_EQ(status(), "") << "an old failure is not news";
  }
}

TEST_F(StreamOverlayTest, TextsAreInTheCurrentLanguage) {
  setLanguage("FR");
  call();
  EXPECT_EQ(status(), "Connexion...");
  panel().accept();
  panel().frame(frame);
  clock.advance(2s);
  EXPECT_EQ(status(), "Vid\xE9o perdue (2 s)");
  setLanguage("EN");
}

// The figures on demand: the rates of the last second, the age of the picture, the time from
// the ring to the first frame of this call, and the panel.
TEST_F(StreamOverlayTest, StatisticsGiveTheFiguresOfThisCall) {
  TStreamOverlay& overlay = controller->overlay();
  call();
  clock.advance(700ms);
  panel().accept();
  overlay.sampleFramesShown(100);
  for (int i = 0; i < 10; ++i) {
    panel().frame(frame);
    clock.advance(100ms);
  }
  overlay.sampleFramesShown(108);  // the screen kept up with 8 of them
  clock.advance(300ms);
  const std::string text = overlay.statisticsText();
  EXPECT_NE(text.find("Frames received/s: 6.0"), std::string::npos) << text;
  EXPECT_NE(text.find("Frames shown/s: 8.0"), std::string::npos) << text;
  EXPECT_NE(text.find("Frame age: 400 ms"), std::string::npos) << text;
  EXPECT_NE(text.find("Ring to first frame: 700 ms"), std::string::npos) << text;
  EXPECT_NE(text.find("Panel: 10.0.0.2"), std::string::npos) << text;

  // A watchdog restart is the same call: its first frame is not a new "first frame".
  panel().lose();
  watchdog();
  panel().accept();
  panel().frame(frame);
  EXPECT_NE(overlay.statisticsText().find("Ring to first frame: 700 ms"), std::string::npos);

  controller->stopStream();
  EXPECT_NE(overlay.statisticsText().find("Frame age: -"), std::string::npos)
      << "no figures for a stream that is not there";
}

}  // namespace
