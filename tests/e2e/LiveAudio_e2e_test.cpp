// Live sound: the real program listens to panel-sim's audio service after a click on the listen
// button under an X server of the test's own, and plays it on a private PulseAudio server whose
// null sink's monitor the test records with parec.
#include <gtest/gtest.h>
#include <signal.h>

#include <QImage>
#include <QTimer>
#include <iostream>
#include <regex>
#include <thread>

#include "tests/e2e/E2eSupport.h"
#include "tests/support/PulseServer.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/SoundAnalysis.h"
#include "tests/support/SoundRecorder.h"

namespace {

constexpr int Rate = 8000;
// The listen button at (115, 280), 24 x 25, under a menu bar 10 to 34 pixels high.
constexpr int ListenButtonX = 115 + 12;
constexpr int ListenButtonY = 22 + 280 + 12;

// Pixels of the level bar's filled part (the style's highlight blue) in the strip of the window
// whose top-left corner is (left, top) where the 109 x 9 bar at (145, 281) is, whatever the menu
// bar's height.
long levelBarPixels(const std::string& png, int left, int top) {
  QImage image;
  if (!image.load(QString::fromStdString(png))) return -1;
  image = image.convertToFormat(QImage::Format_RGB32);
  long count = 0;
  for (int y = top + 281 + 10; y < top + 281 + 34 + 9 && y < image.height(); ++y)
    for (int x = left + 145; x < left + 145 + 109 && x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (qBlue(p) > 150 && qRed(p) < 120 && qBlue(p) - qRed(p) > 60) ++count;
    }
  return count;
}

// Where the sound stops for good: the end of the last sample louder than near-silence, in ms.
double lastSoundMs(const std::vector<std::int16_t>& samples) {
  for (std::size_t i = samples.size(); i > 0; --i)
    if (samples[i - 1] > 1000 || samples[i - 1] < -1000) return 1000.0 * double(i) / Rate;
  return 0;
}

class LiveAudioE2e : public TScreenLanTest {
 protected:
  void SetUp() override {
    TScreenLanTest::SetUp();
    if (IsSkipped()) return;
    ensureQtApplication();
    if (!pulse.start()) GTEST_SKIP() << "no PulseAudio server: " << pulse.error();
  }

  // panel-sim serving its tone on 3333 with the given extra switches; the program started on
  // the X server with that panel as its priority one; the listen button clicked.
  void listen(const std::vector<std::string>& extra) {
    std::vector<std::string> argv = {panelSimPath(),   "serve",  "--audio",      "3333",
                                     "--no-discovery", "--bind", lan->address(2)};
    argv.insert(argv.end(), extra.begin(), extra.end());
    panel = std::make_unique<TChild>(argv, std::map<std::string, std::string>{}, panelNs,
                                     path("panel"));
    ASSERT_TRUE(pollUntil([&] {
      return panel->output().find("audio: listening") != std::string::npos;
    })) << panel->errors();

    // The program reaches the server through PULSE_SERVER, which start() put in this process's
    // environment and the child inherits.
    program = std::make_unique<TProgramRun>(path("program"));
    program->writeSettings({{"interfaceSelected", "\"" + lan->address(1) + "\""},
                            {"platines", "\"" + lan->address(2) + "\""},
                            {"priority", "dword:00000000"}});
    program->startOnDisplay(programNs, x->display());
    ASSERT_TRUE(program->waitForLog("Socket active port 2201")) << program->log();
    ASSERT_TRUE(pollUntil([&] { return (window = x->findWindow("Ostrel Stream")).has_value(); }));
    ASSERT_TRUE(x->click(*window, ListenButtonX, ListenButtonY));
    ASSERT_TRUE(pollUntil([&] {
      return panel->output().find("audio: client") != std::string::npos;
    })) << panel->output()
        << program->log();
  }

  std::optional<std::pair<int, int>> corner() {
    std::string info = runCommand({"env", "DISPLAY=" + x->display(), "xwininfo", "-id", *window});
    std::smatch mx, my;
    if (!std::regex_search(info, mx, std::regex(R"(Absolute upper-left X:\s*(-?\d+))")) ||
        !std::regex_search(info, my, std::regex(R"(Absolute upper-left Y:\s*(-?\d+))")))
      return std::nullopt;
    return std::make_pair(std::stoi(mx[1]), std::stoi(my[1]));
  }

  std::vector<std::int16_t> record(double seconds) {
    std::string error;
    auto samples = recordSeconds(pulse.environment(), Rate, seconds, &error);
    EXPECT_TRUE(samples) << error << pulse.log();
    return samples ? *samples : std::vector<std::int16_t>{};
  }

  void TearDown() override {
    if (panel) {
      ::kill(panel->pid(), SIGCONT);
      panel->terminate();
    }
    if (program) {
      EXPECT_EQ(program->child().terminate(), 0) << program->child().errors();
    }
    TScreenLanTest::TearDown();
  }

  TPulseServer pulse;
  std::unique_ptr<TChild> panel;
  std::unique_ptr<TProgramRun> program;
  std::optional<std::string> window;
};

}  // namespace

TEST_F(LiveAudioE2e, TheListenButtonPlaysThePanelsToneAndTheLevelBarShowsIt) {
  if (IsSkipped()) return;
  listen({});
  if (HasFatalFailure()) return;

  long seen = 0;
  const std::string shot = path("listening.png");
  auto at = corner();
  ASSERT_TRUE(at);
  EXPECT_TRUE(pollUntil([&] {
    if (!x->screenshot(shot)) return false;
    seen = levelBarPixels(shot, at->first, at->second);
    return seen > 300;
  })) << seen
      << " level-bar pixels\n"
      << program->log();

  // A healthy stream is never restarted, also while the sound server starts it.
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const auto samples = record(3.0);
  EXPECT_NEAR(dominantFrequency(samples, Rate), 440, 440 * 0.02);
  EXPECT_LE(longestGapMs(samples, Rate, 300), 30);
  EXPECT_GT(rms(samples), 1000);
  // The connection was not disturbed while recording (other parts log on their own timers).
  for (const char* line : {"restarting", "Audio disconnected", "Error"})
    EXPECT_EQ(program->log().find(line), std::string::npos) << line << "\n" << program->log();
}

// A panel whose clock runs 5 % fast sends a second too much every 20 s. After 20 s the panel
// is frozen (SIGSTOP: the connection stays, nothing more arrives) and the monitor recorded:
// what still plays after the freeze is exactly what was waiting, the delay.
TEST_F(LiveAudioE2e, AFastPanelClockDoesNotBuildUpDelay) {
  if (IsSkipped()) return;
  listen({"--audio-fast", "5"});
  if (HasFatalFailure()) return;
  std::this_thread::sleep_for(std::chrono::seconds(20));

  constexpr int FreezeAtMs = 1500;
  const pid_t pid = panel->pid();
  QTimer::singleShot(FreezeAtMs, [pid] { ::kill(pid, SIGSTOP); });
  const auto samples = record(4.0);
  const double delayMs = lastSoundMs(samples) - FreezeAtMs;
  std::cout << "[ delay ] " << delayMs << " ms waiting after 20 s of a 5 % fast panel\n";
  // The sound was still playing at the freeze: the measure is not blind.
  EXPECT_LE(
      longestGapMs(std::vector<std::int16_t>(samples.begin(), samples.begin() + Rate), Rate, 0),
      30);
  // One second of bound, the sink's own buffer and the server's latency.
  EXPECT_LT(delayMs, 1150) << program->log();
}
