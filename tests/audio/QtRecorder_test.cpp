// The Qt Multimedia recorder on a real sound path: a private PulseAudio server whose default
// source is a sine generator.
#include "platform/QtRecorder.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <cmath>

#include "tests/support/PulseServer.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/SoundAnalysis.h"

namespace {

constexpr double SineHz = 440.0;

int pactl(const TPulseServer& pulse, const QStringList& arguments, std::string* output) {
  QProcess process;
  process.setProcessEnvironment(pulse.environment());
  process.start("pactl", arguments);
  if (!process.waitForStarted(10000) || !process.waitForFinished(20000)) return -1;
  *output = (process.readAllStandardOutput() + process.readAllStandardError()).toStdString();
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

}  // namespace

// Recording at 8000 Hz, 8 bits, mono really takes the input's sound: the sine's frequency is
// found in it within 2 %, and the amount follows the time recorded.
TEST(QtRecorderTest, RecordsTheDefaultInputsSineAt8000HzMono8Bit) {
  TPulseServer pulse;
  if (!pulse.start()) GTEST_SKIP() << "no PulseAudio server: " << pulse.error();
  std::string out;
  ASSERT_EQ(pactl(pulse,
                  {"load-module", "module-sine-source", "source_name=sine",
                   "frequency=" + QString::number(SineHz)},
                  &out),
            0)
      << out;
  ASSERT_EQ(pactl(pulse, {"set-default-source", "sine"}, &out), 0) << out;
  ensureQtApplication();

  TQtRecorder recorder;
  ASSERT_TRUE(recorder.start()) << recorder.error();
  EXPECT_TRUE(recorder.recording());
  // Waits for a second of sound, whatever the machine's load.
  ASSERT_TRUE(waitUntil([&] { return recorder.pcm().size() >= 8000; }, std::chrono::seconds(30)));
  recorder.stop();
  EXPECT_FALSE(recorder.recording());
  EXPECT_TRUE(recorder.error().empty()) << recorder.error();
  const std::string pcm = recorder.pcm();
  const double hz = dominantFrequency(samplesOfU8(pcm.substr(800)), 8000);
  EXPECT_NEAR(hz, SineHz, SineHz * 0.02) << pcm.size() << " bytes";
  // Loud enough to be the sine and not silence.
  int low = 255, high = 0;
  for (char c : pcm.substr(800)) {
    low = std::min(low, static_cast<int>(static_cast<unsigned char>(c)));
    high = std::max(high, static_cast<int>(static_cast<unsigned char>(c)));
  }
  EXPECT_GT(high - low, 64);

  // A second recording starts empty.
  ASSERT_TRUE(recorder.start()) << recorder.error();
  EXPECT_LT(recorder.pcm().size(), 8000u);
  recorder.stop();
}
