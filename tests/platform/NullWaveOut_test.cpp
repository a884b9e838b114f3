// The clock-driven output the player's tests run on: it must play at the format's byte rate,
// hand buffers back in order, honour pause, and fail where it is told to.
#include "platform/NullWaveOut.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace {

// Records what the device reports, as the player's callback context would receive it.
struct TRecordingTarget final : IWaveOutTarget {
  std::vector<std::string> events;
  std::vector<TWaveHeader*> done;
  void waveOutOpened() override { events.push_back("opened"); }
  void waveOutDone(TWaveHeader* header) override {
    events.push_back("done");
    done.push_back(header);
  }
  void waveOutClosed() override { events.push_back("closed"); }
};

TWaveFormat mono16At8000() {
  TWaveFormat format;
  format.wFormatTag = kWaveFormatPcm;
  format.nChannels = 1;
  format.nSamplesPerSec = 8000;
  format.nAvgBytesPerSec = 16000;
  format.nBlockAlign = 2;
  format.wBitsPerSample = 16;
  return format;
}

class NullWaveOutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(system.open(-1, mono16At8000(), target, device), kWaveOk);
    for (auto& header : headers) {
      header.bufferLength = 160;  // 10 ms
      ASSERT_EQ(device->prepare(header), kWaveOk);
    }
  }
  TNullWaveOutSystem system;
  TRecordingTarget target;
  std::unique_ptr<IWaveOutDevice> device;
  TWaveHeader headers[3];
};

TEST_F(NullWaveOutTest, PlaysAtTheByteRateAndHandsBuffersBackInOrder) {
  for (auto& header : headers) ASSERT_EQ(device->write(header), kWaveOk);
  // 9.9 ms in three steps: a clock that dropped the fractions would hand back nothing after 10.
  system.advance(3);
  system.advance(3);
  system.advance(3);
  EXPECT_TRUE(target.done.empty());
  system.advance(1);
  ASSERT_EQ(target.done.size(), 1u);
  system.advance(20);
  ASSERT_EQ(target.done, (std::vector<TWaveHeader*>{&headers[0], &headers[1], &headers[2]}));
  EXPECT_TRUE(headers[2].flags & kWaveHdrDone);
  TWavePosition position;
  ASSERT_EQ(device->getPosition(position), kWaveOk);
  EXPECT_EQ(position.value, 480u);
}

TEST_F(NullWaveOutTest, PauseStopsTheClockAndRestartGoesOn) {
  ASSERT_EQ(device->write(headers[0]), kWaveOk);
  device->pause();
  system.advance(100);
  EXPECT_TRUE(target.done.empty());
  device->restart();
  system.advance(10);
  EXPECT_EQ(target.done.size(), 1u);
}

TEST_F(NullWaveOutTest, LoopingBufferPlaysItsLoops) {
  headers[0].flags |= kWaveHdrBeginLoop | kWaveHdrEndLoop;
  headers[0].loops = 3;
  ASSERT_EQ(device->write(headers[0]), kWaveOk);
  system.advance(29);
  EXPECT_TRUE(target.done.empty());
  system.advance(1);
  EXPECT_EQ(target.done.size(), 1u);
}

TEST_F(NullWaveOutTest, CloseWaitsForResetWhichHandsEverythingBack) {
  for (auto& header : headers) ASSERT_EQ(device->write(header), kWaveOk);
  EXPECT_EQ(device->close(), kWaveErrStillPlaying);
  EXPECT_EQ(device->unprepare(headers[0]), kWaveErrStillPlaying);
  ASSERT_EQ(device->reset(), kWaveOk);
  EXPECT_EQ(target.done.size(), 3u);
  EXPECT_EQ(system.queuedBytes(), 0u);
  ASSERT_EQ(device->close(), kWaveOk);
  EXPECT_EQ(target.events.back(), "closed");
  EXPECT_EQ(device->write(headers[0]), kWaveErrInvalidHandle);
}

TEST(NullWaveOut, FailsWhereItIsTold) {
  struct TCase {
    const char* what;
    TNullWaveOutSystem::TFaults faults;
  };
  const TCase cases[] = {
      {"open", {.open = kWaveErrAllocated}},
      {"query", {.query = kWaveErrBadFormat}},
      {"write", {.write = kWaveErrNoMem}},
      {"reset", {.reset = kWaveErrUnspecified}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TNullWaveOutSystem system;
    TRecordingTarget target;
    system.setFaults(c.faults);
    std::unique_ptr<IWaveOutDevice> device;
    const uint32_t opened = system.open(-1, mono16At8000(), target, device);
    const uint32_t openFault = c.faults.open != 0 ? c.faults.open : c.faults.query;
    if (openFault != 0) {
      EXPECT_EQ(opened, openFault);
      EXPECT_EQ(device, nullptr);
      EXPECT_TRUE(target.events.empty());  // no opened notice for a failed open
      continue;
    }
    ASSERT_EQ(opened, kWaveOk);
    TWaveHeader header;
    header.bufferLength = 2;
    device->prepare(header);
    const uint32_t written = device->write(header);
    EXPECT_EQ(written, c.faults.write);
    EXPECT_EQ(device->reset(), c.faults.reset);
  }
}

TEST(NullWaveOut, WithoutDevicesNothingOpens) {
  TNullWaveOutSystem system;
  system.setDeviceCount(0);
  TRecordingTarget target;
  std::unique_ptr<IWaveOutDevice> device;
  EXPECT_EQ(system.open(-1, mono16At8000(), target, device), kWaveErrNoDevice);
  EXPECT_EQ(waveOutErrorText(kWaveErrNoDevice), "No sound output device");
}

TEST(WaveOutBackends, CreatesOnlyWhatWasRegistered) {
  TWaveOutBackends backends;
  EXPECT_EQ(backends.create(kWaveOutNull), nullptr);
  registerWaveOutBackends(backends);
  EXPECT_EQ(backends.names(), (std::vector<std::string>{"qt", "null"}));
  EXPECT_NE(backends.create(kWaveOutNull), nullptr);
  EXPECT_EQ(backends.create("alsa"), nullptr);
}

}  // namespace
