// The Qt Multimedia output on a real sound server (a private PulseAudio with a null sink): the
// buffers come back in the order they were written, also after the sink ran dry, and the player
// plays a tone through it to the end. Without any server the opening fails with one clear error.
#include "platform/QtWaveOut.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "audio/wave/WavePlayers.h"
#include "tests/support/PulseServer.h"
#include "tests/support/QtTestSupport.h"

namespace {

// 100 ms of a 440 Hz tone at 8000 Hz, 16-bit mono, peaking at 16384 (level 50).
std::vector<int16_t> tone100ms() {
  std::vector<int16_t> samples(800);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(std::lround(16384 * std::sin(2 * M_PI * 440 * i / 8000.0)));
  return samples;
}

struct TRecordingTarget final : IWaveOutTarget {
  std::mutex mutex;
  std::vector<TWaveHeader*> done;
  int opened = 0;
  int closed = 0;
  void waveOutOpened() override {
    std::lock_guard lock(mutex);
    ++opened;
  }
  void waveOutDone(TWaveHeader* header) override {
    std::lock_guard lock(mutex);
    done.push_back(header);
  }
  void waveOutClosed() override {
    std::lock_guard lock(mutex);
    ++closed;
  }
  size_t doneCount() {
    std::lock_guard lock(mutex);
    return done.size();
  }
};

class QtWaveOutTest : public ::testing::Test {
 protected:
  // One server for the whole binary: Qt stays connected to the first server it found.
  static void SetUpTestSuite() {
    ensureQtApplication();
    s_pulse = new TPulseServer;
    s_pulse->start();
  }
  static void TearDownTestSuite() {
    delete s_pulse;
    s_pulse = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(s_pulse->running()) << s_pulse->error();
    InitPCMFormatByID(format, Mono16bit8000Hz);
  }
  static inline TPulseServer* s_pulse = nullptr;
  TQtWaveOutSystem system;
  TWaveFormat format;
};

TEST_F(QtWaveOutTest, HandsBuffersBackInOrderAlsoAfterRunningDry) {
  ASSERT_GE(system.deviceCount(), 1u);
  TWaveOutCaps caps;
  ASSERT_EQ(system.capabilities(-1, caps), kWaveOk);
  EXPECT_TRUE(caps.volume);
  EXPECT_FALSE(caps.lrVolume);
  EXPECT_FALSE(caps.pitch);
  EXPECT_FALSE(caps.playbackRate);
  ASSERT_EQ(system.queryFormat(-1, format), kWaveOk);

  TRecordingTarget target;
  std::unique_ptr<IWaveOutDevice> device;
  ASSERT_EQ(system.open(-1, format, target, device), kWaveOk);
  EXPECT_EQ(target.opened, 1);
  std::vector<int16_t> samples = tone100ms();
  std::vector<TWaveHeader> headers(6);
  for (auto& header : headers) {
    header.data = samples.data();
    header.bufferLength = static_cast<uint32_t>(samples.size() * 2);
    ASSERT_EQ(device->prepare(header), kWaveOk);
  }
  for (int i = 0; i < 5; ++i) ASSERT_EQ(device->write(headers[i]), kWaveOk);
  ASSERT_TRUE(waitUntil([&] { return target.doneCount() == 5; }, std::chrono::seconds(30)));
  // The sink has run dry; a buffer written now must still be played.
  pumpEvents(std::chrono::milliseconds(300));
  ASSERT_EQ(device->write(headers[5]), kWaveOk);
  ASSERT_TRUE(waitUntil([&] { return target.doneCount() == 6; }, std::chrono::seconds(30)));
  {
    std::lock_guard lock(target.mutex);
    for (size_t i = 0; i < headers.size(); ++i) EXPECT_EQ(target.done[i], &headers[i]);
  }
  uint32_t pitch = 0;
  EXPECT_EQ(device->getPitch(pitch), kWaveErrNotSupported);
  ASSERT_EQ(device->close(), kWaveOk);
  EXPECT_EQ(target.closed, 1);
}

TEST_F(QtWaveOutTest, PlayerPlaysASecondOfToneToTheEnd) {
  TLiveAudioPlayer player(system);
  player.setBufferInternally(false);
  player.setBufferCount(10);
  std::vector<std::string> events;
  int blocks = 0;
  player.OnActivate = [&](TWaveAudioIO&) { events.push_back("activate"); };
  player.OnDeactivate = [&](TWaveAudioIO&) { events.push_back("deactivate"); };
  player.OnError = [&](TWaveAudioIO& sender) {
    events.push_back("error " + sender.GetErrorText(sender.LastError()));
  };
  player.OnLevel = [&](TWaveAudioIO&, int level) {
    events.push_back("level " + std::to_string(level));
  };
  const std::vector<int16_t> tone = tone100ms();
  player.OnDataPtr = [&](TWaveAudioIO&, void*& buffer, uint32_t&, bool& freeIt) -> uint32_t {
    if (blocks == 10) return 0;
    ++blocks;
    const auto bytes = static_cast<uint32_t>(tone.size() * 2);
    buffer = std::malloc(bytes);
    std::memcpy(buffer, tone.data(), bytes);
    freeIt = true;
    return bytes;
  };
  player.setActive(true);
  ASSERT_TRUE(waitUntil([&] { return !player.Active(); }, std::chrono::seconds(30)));
  std::vector<std::string> expected{"activate"};
  for (int i = 0; i < 10; ++i) expected.push_back("level 50");
  expected.push_back("level 0");
  expected.push_back("deactivate");
  EXPECT_EQ(events, expected);
  EXPECT_EQ(player.LastError(), kWaveOk);
}

// Silence bridging a pause in the supply must not delay the sound queued behind it: a silence
// buffer that has not started when another waits behind it is handed back unplayed. A 300 ms
// tone fills the sink first, so that what follows waits in the queue. What was played is the
// position once everything came back and the sink ran dry.
TEST_F(QtWaveOutTest, WaitingSilenceIsSkippedOnlyWhenSoundIsQueuedBehindIt) {
  struct TCase {
    const char* name;
    std::vector<const char*> buffers;  // "tone" 100 ms, "silence" 500 ms
    uint64_t playedMs;
  };
  const TCase cases[] = {
      {"silence between sound", {"tone", "tone", "tone", "silence", "tone"}, 400},
      {"silence at the end", {"tone", "tone", "tone", "silence"}, 800},
      {"sound with a quiet half", {"tone", "tone", "tone", "half", "tone"}, 900},
  };
  std::vector<int16_t> tone = tone100ms();
  std::vector<int16_t> silence(4000, 0);
  std::vector<int16_t> half(4000, 0);
  half[3999] = 1;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TRecordingTarget target;
    std::unique_ptr<IWaveOutDevice> device;
    ASSERT_EQ(system.open(-1, format, target, device), kWaveOk);
    std::vector<TWaveHeader> headers(c.buffers.size());
    for (size_t i = 0; i < headers.size(); ++i) {
      const std::string kind = c.buffers[i];
      std::vector<int16_t>& samples = kind == "tone" ? tone : kind == "silence" ? silence : half;
      headers[i].data = samples.data();
      headers[i].bufferLength = static_cast<uint32_t>(samples.size() * 2);
      ASSERT_EQ(device->prepare(headers[i]), kWaveOk);
      ASSERT_EQ(device->write(headers[i]), kWaveOk);
    }
    ASSERT_TRUE(
        waitUntil([&] { return target.doneCount() == headers.size(); }, std::chrono::seconds(30)));
    // The sink still holds its last 50 ms; the position counts what the server played.
    pumpEvents(std::chrono::milliseconds(500));
    TWavePosition position;
    ASSERT_EQ(device->getPosition(position), kWaveOk);
    EXPECT_NEAR(static_cast<double>(position.value), static_cast<double>(c.playedMs), 20);
    ASSERT_EQ(device->close(), kWaveOk);
  }
}

TEST(QtWaveOutWithoutServer, OpeningFailsWithOneClearError) {
  ensureQtApplication();
  // Qt keeps the devices it found for the life of a process, so this runs in a child of its own.
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("PULSE_SERVER", "unix:/nonexistent/ostrel-no-pulse/native");
  child.setProcessEnvironment(environment);
  child.start(OSTREL_WAVE_OPEN_HELPER, {});
  ASSERT_TRUE(child.waitForFinished(60000)) << "the opening hung";
  EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(child.exitCode(), 0);
  const QString output = QString::fromUtf8(child.readAllStandardOutput());
  EXPECT_TRUE(output.contains("devices=0\n")) << output.toStdString();
  EXPECT_TRUE(output.contains("error=6 No sound output device\n")) << output.toStdString();
  EXPECT_TRUE(output.contains("active=0\n")) << output.toStdString();
}

}  // namespace
