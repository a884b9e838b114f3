// The Qt Multimedia output on a real sound server (a private PulseAudio with a null sink): the
// buffers come back in the order they were written, also after the sink ran dry, and the player
// plays a tone through it to the end. Without any server the opening fails with one clear error.
#include "platform/QtWaveOut.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <thread>
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

// Silence is written only as the sink needs it, so a long silence buffer that has started is cut
// short once sound is queued behind it: the sound follows at once rather than after the whole
// second. Both come back, in order.
TEST_F(QtWaveOutTest, StartedSilenceIsCutShortWhenSoundFollows) {
  TRecordingTarget target;
  std::unique_ptr<IWaveOutDevice> device;
  ASSERT_EQ(system.open(-1, format, target, device), kWaveOk);
  std::vector<int16_t> silence(8000, 0);
  std::vector<int16_t> tone = tone100ms();
  TWaveHeader headers[3];
  for (int i = 0; i < 3; ++i) {
    std::vector<int16_t>& samples = i == 1 ? silence : tone;
    headers[i].data = samples.data();
    headers[i].bufferLength = static_cast<uint32_t>(samples.size() * 2);
    ASSERT_EQ(device->prepare(headers[i]), kWaveOk);
  }
  // A new stream waits for the server to start it: the silence comes once the tone has played.
  TWavePosition position;
  ASSERT_EQ(device->write(headers[0]), kWaveOk);
  ASSERT_TRUE(
      waitUntil([&] { return device->getPosition(position) == kWaveOk && position.value >= 100; },
                std::chrono::seconds(30)));
  ASSERT_EQ(device->write(headers[1]), kWaveOk);
  pumpEvents(std::chrono::milliseconds(300));
  ASSERT_EQ(device->write(headers[2]), kWaveOk);
  ASSERT_TRUE(waitUntil([&] { return target.doneCount() == 3; }, std::chrono::seconds(30)));
  pumpEvents(std::chrono::milliseconds(500));
  ASSERT_EQ(device->getPosition(position), kWaveOk);
  // The tone, 300 ms of silence, what the sink held ahead of the speaker then, and the tone
  // again: well under the 1200 ms that playing the whole silence would take.
  EXPECT_GE(position.value, 480u);
  EXPECT_LT(position.value, 800u);
  {
    std::lock_guard lock(target.mutex);
    EXPECT_EQ(target.done, (std::vector<TWaveHeader*>{&headers[0], &headers[1], &headers[2]}));
  }
  ASSERT_EQ(device->close(), kWaveOk);
}

// Closing waits for the queued buffers, silence held back included; a reset hands them back in
// order, and the device then closes.
TEST_F(QtWaveOutTest, CloseRefusesWhileBuffersAreQueuedAndResetHandsThemBack) {
  TRecordingTarget target;
  std::unique_ptr<IWaveOutDevice> device;
  ASSERT_EQ(system.open(-1, format, target, device), kWaveOk);
  std::vector<int16_t> silence(8000, 0);
  std::vector<int16_t> tone(80000, 1000);  // ten seconds: still playing at the close
  std::vector<TWaveHeader> headers(3);
  headers[0].data = tone.data();
  headers[0].bufferLength = static_cast<uint32_t>(tone.size() * 2);
  for (int i = 1; i < 3; ++i) {
    headers[i].data = silence.data();
    headers[i].bufferLength = static_cast<uint32_t>(silence.size() * 2);
  }
  for (auto& header : headers) {
    ASSERT_EQ(device->prepare(header), kWaveOk);
    ASSERT_EQ(device->write(header), kWaveOk);
  }
  pumpEvents(std::chrono::milliseconds(200));
  EXPECT_EQ(device->close(), kWaveErrStillPlaying);
  EXPECT_EQ(target.closed, 0);
  ASSERT_EQ(device->reset(), kWaveOk);
  {
    std::lock_guard lock(target.mutex);
    EXPECT_EQ(target.done, (std::vector<TWaveHeader*>{&headers[0], &headers[1], &headers[2]}));
  }
  for (auto& header : headers) EXPECT_EQ(header.flags & kWaveHdrInQueue, 0u);
  ASSERT_EQ(device->close(), kWaveOk);
  EXPECT_EQ(target.closed, 1);
}

// The sink's thread is called once for any number of writes and sleeps while only silence it
// does not need yet is queued; a write racing the pump going to sleep must still be played.
// Buffers written from another thread in bursts, at about their playing pace and after pauses
// that let the sink run dry, with silence among them, all come back, in order.
TEST_F(QtWaveOutTest, BuffersWrittenInBurstsFromAnotherThreadAllComeBackInOrder) {
  TRecordingTarget target;
  std::unique_ptr<IWaveOutDevice> device;
  ASSERT_EQ(system.open(-1, format, target, device), kWaveOk);
  std::vector<int16_t> samples = tone100ms();
  std::vector<int16_t> silence(40, 0);
  // 5 ms each, every fifth one silence.
  std::vector<TWaveHeader> headers(240);
  for (size_t i = 0; i < headers.size(); ++i) {
    headers[i].data = i % 5 == 4 ? silence.data() : samples.data();
    headers[i].bufferLength = 80;
    ASSERT_EQ(device->prepare(headers[i]), kWaveOk);
  }
  ASSERT_EQ(device->write(headers[0]), kWaveOk);
  ASSERT_TRUE(waitUntil([&] { return target.doneCount() == 1; }, std::chrono::seconds(30)));
  std::thread writer([&] {
    for (size_t i = 1; i < headers.size(); ++i) {
      device->write(headers[i]);
      // A burst of 8, then one at a time 0 to 5 ms apart, about the pace they play, so that the
      // queue keeps running dry just as the next one comes; then a pause that lets the sink run
      // dry.
      if (i % 40 == 39)
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
      else if (i % 40 >= 7)
        std::this_thread::sleep_for(std::chrono::microseconds(700 * (i % 8)));
    }
  });
  writer.join();
  ASSERT_TRUE(
      waitUntil([&] { return target.doneCount() == headers.size(); }, std::chrono::seconds(60)));
  {
    std::lock_guard lock(target.mutex);
    for (size_t i = 0; i < headers.size(); ++i) ASSERT_EQ(target.done[i], &headers[i]) << i;
  }
  ASSERT_EQ(device->close(), kWaveOk);
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
