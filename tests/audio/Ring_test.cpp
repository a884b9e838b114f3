// The chime played by the program's own sound output on a private PulseAudio server, recorded
// from the null sink's monitor with parec and analysed; and the ring's refusals without one.
#include "audio/Ring.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <cstdlib>

#include "platform/NullWaveOut.h"
#include "platform/QtWaveOut.h"
#include "tests/support/PulseServer.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/SoundAnalysis.h"
#include "tests/support/SoundRecorder.h"

namespace {

std::vector<std::int16_t> slice(const std::vector<std::int16_t>& samples, std::size_t from,
                                std::size_t count) {
  from = std::min(from, samples.size());
  count = std::min(count, samples.size() - from);
  return {samples.begin() + static_cast<std::ptrdiff_t>(from),
          samples.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

TEST(RingTest, TheTwoTonesOfTheChimeComeOutOfTheSoundOutputInTurn) {
  ensureQtApplication();
  TPulseServer pulse;
  ASSERT_TRUE(pulse.start()) << pulse.error();
  TQtWaveOutSystem system;
  TRing ring(system);
  bool started = false;
  QTimer::singleShot(400, [&] { started = ring.play(); });
  std::string error;
  constexpr int rate = TChime::SampleRate;
  const auto recorded = recordSeconds(pulse.environment(), rate, 2.5, &error);
  ASSERT_TRUE(recorded) << error;
  ASSERT_TRUE(started);
  ASSERT_TRUE(waitUntil([&] { return !ring.playing(); }, std::chrono::seconds(30)));

  std::size_t onset = 0;
  while (onset < recorded->size() && std::abs((*recorded)[onset]) < 2000) ++onset;
  ASSERT_LT(onset, recorded->size()) << "nothing audible was recorded";
  const std::size_t tone = rate * TChime::ToneMs / 1000;
  const auto first = slice(*recorded, onset, tone * 2 / 3);
  const auto second = slice(*recorded, onset + tone + rate / 100, tone * 2 / 3);
  EXPECT_NEAR(dominantFrequency(first, rate, 300, 1200), TChime::FirstHz, 8);
  EXPECT_NEAR(dominantFrequency(second, rate, 300, 1200), TChime::SecondHz, 8);
  // The chime is short: silence again once both tones are over.
  EXPECT_LT(rms(slice(*recorded, onset + 2 * tone + rate / 5, rate / 5)), 300);
}

TEST(RingTest, NoOutputOrARingAlreadyPlayingStartsNothing) {
  ensureQtApplication();
  TNullWaveOutSystem none;
  none.setDeviceCount(0);
  EXPECT_FALSE(TRing(none).play());

  TNullWaveOutSystem system;
  TRing ring(system);
  ASSERT_TRUE(ring.play());
  EXPECT_TRUE(ring.playing());
  EXPECT_FALSE(ring.play()) << "a second call while ringing starts no second chime";
  ring.stop();
  EXPECT_FALSE(ring.playing());
  // The device closes in its own time; then the ring can ring again.
  EXPECT_TRUE(waitUntil([&] { return ring.play(); })) << "a stopped ring can ring again";
  ring.stop();
}

}  // namespace
