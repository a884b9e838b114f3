// The live player against the clock-driven null output: the buffer cycle, its events and their
// order, ownership of the owner's blocks, the silence that bridges an empty supply, opening and
// closing with their failures. Nothing sleeps: the test moves the device's clock and lets the
// player's queued notices run.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/wave/WavePlayers.h"
#include "platform/NullWaveOut.h"
#include "tests/support/QtTestSupport.h"

namespace {

// What the owner answers to the next request for data.
struct TAnswer {
  enum class EKind { Block, Silence, End } kind;
  uint32_t count = 0;  // bytes of a block, or milliseconds of silence
  int16_t sample = 0;  // every sample of a block, then one sample of `peak`
  int16_t peak = 0;
};
TAnswer block(uint32_t bytes, int16_t sample, int16_t peak) {
  return {TAnswer::EKind::Block, bytes, sample, peak};
}
TAnswer endOfData() { return {TAnswer::EKind::End}; }

class LivePlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    // As the receiver configures it.
    player.setBufferInternally(false);
    player.setBufferCount(10);
    player.setVolumeLeft(100);
    player.setVolumeRight(100);
    player.OnActivate = [this](TWaveAudioIO&) { record("activate"); };
    player.OnDeactivate = [this](TWaveAudioIO&) { record("deactivate"); };
    player.OnLevel = [this](TWaveAudioIO&, int level) { record("level " + std::to_string(level)); };
    player.OnError = [this](TWaveAudioIO& sender) {
      record("error " + std::to_string(sender.LastError()));
    };
    player.OnPause = [this](TWaveAudioIO&) { record("pause"); };
    player.OnResume = [this](TWaveAudioIO&) { record("resume"); };
    player.OnFormat = [this](TWaveAudioIO&, TWaveFormat*&, bool&) { record("format"); };
    player.OnFilter = [this](TWaveAudioIO&, void* data, uint32_t size) {
      std::lock_guard lock(m_mutex);
      queuedData.push_back(data);
      queuedSizes.push_back(size);
      queuedZero.push_back(std::all_of(static_cast<char*>(data), static_cast<char*>(data) + size,
                                       [](char c) { return c == 0; }));
    };
    player.OnDataPtr = [this](TWaveAudioIO&, void*& buffer, uint32_t&, bool& freeIt) {
      return answer(buffer, freeIt);
    };
  }

  uint32_t answer(void*& buffer, bool& freeIt) {
    std::lock_guard lock(m_mutex);
    events.push_back("data");
    threads.push_back(std::this_thread::get_id());
    if (supply.empty()) {
      if (!endlessBlocks) return 10;  // nothing received: 10 ms of silence, as the receiver does
      supply.push_back(block(1600, 100, 100));
    }
    const TAnswer next = supply.front();
    supply.pop_front();
    if (next.kind == TAnswer::EKind::Silence) return next.count;
    if (next.kind == TAnswer::EKind::End) return 0;
    auto* samples = static_cast<int16_t*>(std::malloc(next.count));
    for (uint32_t i = 0; i < next.count / 2; ++i) samples[i] = next.sample;
    samples[0] = next.peak;
    handedBlocks.push_back(samples);
    buffer = samples;
    freeIt = true;
    return next.count;
  }

  void record(const std::string& event) {
    std::lock_guard lock(m_mutex);
    events.push_back(event);
    threads.push_back(std::this_thread::get_id());
  }
  std::vector<std::string> takeEvents() {
    std::lock_guard lock(m_mutex);
    return std::exchange(events, {});
  }
  // Runs the player's queued notices (it handles them on this thread's event loop).
  void settle() {
    for (int i = 0; i < 20; ++i) QCoreApplication::sendPostedEvents();
  }
  size_t count(const std::string& event) {
    std::lock_guard lock(m_mutex);
    return std::count(events.begin(), events.end(), event);
  }

  TNullWaveOutSystem system;  // outlives the player
  TLiveAudioPlayer player{system};
  std::mutex m_mutex;
  std::deque<TAnswer> supply;
  bool endlessBlocks = false;
  std::vector<std::string> events;
  std::vector<std::thread::id> threads;
  std::vector<void*> handedBlocks;
  std::vector<void*> queuedData;
  std::vector<uint32_t> queuedSizes;
  std::vector<bool> queuedZero;
};

TEST(LivePlayer, DefaultsAndTheFloorOfBufferLength) {
  TNullWaveOutSystem system;
  TLiveAudioPlayer player(system);
  EXPECT_EQ(player.PCMFormat(), Mono16bit8000Hz);
  EXPECT_EQ(player.BufferLength(), 1000);
  EXPECT_EQ(player.BufferCount(), 2);
  EXPECT_TRUE(player.BufferInternally());
  EXPECT_FALSE(player.Async());
  EXPECT_EQ(player.DeviceID(), -1);
  EXPECT_EQ(player.VolumeLeft(), 75);
  EXPECT_EQ(player.Options(), 0);
  EXPECT_FALSE(player.Active());
  player.setBufferLength(5);
  EXPECT_EQ(player.BufferLength(), 10);
}

// The whole life of a connection: blocks queued as they are (the owner's own memory), one level
// per buffer between the requests, and an end of data that lets the queued buffers play out.
TEST_F(LivePlayerTest, PlaysTheOwnersBlocksUnchangedThenPlaysOutAndCloses) {
  supply = {block(1600, -1000, -5), block(1600, 0, 16384), block(1600, 100, 100), endOfData()};
  player.setActive(true);
  EXPECT_TRUE(player.Active());
  settle();
  EXPECT_EQ(takeEvents(), (std::vector<std::string>{"activate", "data", "level 0", "data",
                                                    "level 50", "data", "level 0", "data"}));
  EXPECT_EQ(queuedData, handedBlocks);  // queued without a copy
  EXPECT_EQ(player.QueuedBytes(), 4800u);
  EXPECT_EQ(system.lastFormat().nSamplesPerSec, 8000u);

  // The end of data does not cut what is queued: the device closes after the last buffer.
  system.advance(200);
  settle();
  EXPECT_TRUE(player.Active());
  EXPECT_EQ(system.openDevices(), 1);
  system.advance(100);
  settle();
  EXPECT_EQ(takeEvents(), (std::vector<std::string>{"level 0", "deactivate"}));
  EXPECT_FALSE(player.Active());
  EXPECT_EQ(system.openDevices(), 0);
  EXPECT_EQ(player.QueuedBytes(), 0u);
  EXPECT_EQ(count("format"), 0u);  // the default format never asks the owner
}

TEST_F(LivePlayerTest, KeepsAtMostBufferCountQueued) {
  endlessBlocks = true;
  player.setBufferCount(3);
  player.setActive(true);
  settle();
  EXPECT_EQ(count("data"), 3u);
  EXPECT_EQ(system.queuedBytes(), 4800u);
  system.advance(100);  // one buffer played: exactly one more request
  settle();
  EXPECT_EQ(count("data"), 4u);
  EXPECT_EQ(system.queuedBytes(), 4800u);
  player.setActive(false);
  settle();
  EXPECT_FALSE(player.Active());
}

// An empty supply is bridged by silence of the asked duration, one or two buffers at a time.
TEST_F(LivePlayerTest, SilenceBridgesAnEmptySupplyOneOrTwoBuffersAtATime) {
  struct TStep {
    uint32_t advanceMs;
    size_t requests;       // requests so far
    uint64_t queuedBytes;  // on the device after the step
  };
  const TStep steps[] = {
      {0, 3, 320},   // none, then one buffer existing: 160 bytes each; two existing: nothing
      {10, 4, 160},  // the first one back while the second exists: nothing queued, it is freed
      {10, 7, 320},  // the last one back: it is reused, and a second one follows
  };
  player.setActive(true);
  for (const auto& step : steps) {
    SCOPED_TRACE(step.advanceMs);
    system.advance(step.advanceMs);
    settle();
    EXPECT_EQ(count("data"), step.requests);
    EXPECT_EQ(system.queuedBytes(), step.queuedBytes);
  }
  EXPECT_EQ(queuedSizes, std::vector<uint32_t>(4, 160));
  EXPECT_EQ(queuedZero, std::vector<bool>(4, true));
  EXPECT_EQ(count("level 0"), 4u);
  // Data arriving meanwhile is played as soon as a silence buffer comes back.
  supply = {block(3200, 200, 200)};
  system.advance(10);
  settle();
  EXPECT_EQ(queuedSizes.back(), 3200u);
}

// A live source whose data arrives while the device holds silence asks for it: it is queued at
// once, not when the next buffer comes back. Closed, the request does nothing.
TEST_F(LivePlayerTest, DataAskedForBetweenReturnsIsQueuedAtOnce) {
  player.RequestData();
  settle();
  EXPECT_EQ(count("data"), 0u);
  player.setActive(true);
  settle();
  const size_t requests = count("data");
  ASSERT_EQ(queuedSizes, std::vector<uint32_t>(2, 160));
  supply = {block(3200, 200, 200)};
  player.RequestData();
  settle();
  EXPECT_EQ(count("data"), requests + 2);  // the block, then silence behind it: none is queued
  EXPECT_EQ(queuedSizes.back(), 3200u);
  EXPECT_EQ(system.queuedBytes(), 320u + 3200u);
}

TEST_F(LivePlayerTest, SettingActiveToItsOwnValueDoesNothing) {
  EXPECT_NO_THROW(player.setActive(false));
  player.setActive(true);
  EXPECT_NO_THROW(player.setActive(true));
  supply = {block(1600, 1, 1), block(1600, 1, 1), endOfData()};
  settle();
  EXPECT_EQ(count("activate"), 1u);
  // Closing has begun (end of data) with two buffers playing: false changes nothing.
  EXPECT_NO_THROW(player.setActive(false));
  settle();
  EXPECT_EQ(system.queuedBytes(), 3200u);
  EXPECT_TRUE(player.Active());
  system.advance(200);
  settle();
  EXPECT_EQ(count("deactivate"), 1u);
  EXPECT_EQ(count("error 0"), 0u);
}

TEST_F(LivePlayerTest, StopDropsWhatIsQueuedAndFreesTheOwnersBlocks) {
  endlessBlocks = true;
  player.setActive(true);
  settle();
  player.setActive(false);
  settle();
  EXPECT_EQ(takeEvents().back(), "deactivate");
  EXPECT_FALSE(player.Active());
  EXPECT_EQ(system.openDevices(), 0);
  // A second life of the same player.
  player.setActive(true);
  settle();
  EXPECT_EQ(count("activate"), 1u);
}

TEST_F(LivePlayerTest, BlocksTheOwnerKeepsAreNotFreed) {
  static int16_t kept[800] = {};
  player.OnDataPtr = [&](TWaveAudioIO&, void*& buffer, uint32_t&, bool& freeIt) -> uint32_t {
    if (count("data") > 0) return 0;
    record("data");
    buffer = kept;  // freeing this would crash
    freeIt = false;
    return sizeof(kept);
  };
  player.setActive(true);
  settle();
  system.advance(100);
  settle();
  EXPECT_EQ(count("deactivate"), 1u);
  EXPECT_EQ(queuedData, std::vector<void*>{kept});
}

TEST_F(LivePlayerTest, AskedFormatIsUsedAndFreedOnlyWithoutAFixedOne) {
  player.setPCMFormat(nonePCM);
  player.OnFormat = [this](TWaveAudioIO&, TWaveFormat*& format, bool& freeIt) {
    record("format");
    // A 16-byte block, as a panel may send it: there is no cbSize to read.
    auto* bytes = static_cast<unsigned char*>(std::malloc(16));
    TWaveFormat wanted;
    InitPCMFormatByID(wanted, Mono8bit11025Hz);
    std::memcpy(bytes, &wanted, 16);
    format = reinterpret_cast<TWaveFormat*>(bytes);
    freeIt = true;
  };
  player.setActive(true);
  settle();
  EXPECT_EQ(count("format"), 1u);
  EXPECT_EQ(system.lastFormat().nSamplesPerSec, 11025u);
  EXPECT_EQ(system.lastFormat().wBitsPerSample, 8);
  EXPECT_EQ(player.WaveFormat().nAvgBytesPerSec, 11025u);
}

// A device that will not open: the error event fires, the player stays closed, and a close asked
// from inside that event (the receiver drops its connection) returns at once without raising.
TEST_F(LivePlayerTest, FailedOpeningReportsOnceAndStaysClosed) {
  struct TCase {
    const char* what;
    TNullWaveOutSystem::TFaults faults;
    unsigned devices;
    uint32_t code;
  };
  const TCase cases[] = {
      {"open refused", {.open = kWaveErrAllocated}, 1, kWaveErrAllocated},
      {"format refused", {.query = kWaveErrBadFormat}, 1, kWaveErrBadFormat},
      {"no output at all", {}, 0, kWaveErrNoDevice},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    system.setFaults(c.faults);
    system.setDeviceCount(c.devices);
    takeEvents();
    bool closeRaised = false;
    player.OnError = [&](TWaveAudioIO& sender) {
      record("error " + std::to_string(sender.LastError()));
      try {
        player.setActive(false);
      } catch (...) {
        closeRaised = true;
      }
    };
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_NO_THROW(player.setActive(true));
    // A close that waited for the opening would take the whole device wait (10 s).
    EXPECT_LT(elapsed.elapsed(), 5000);
    EXPECT_FALSE(closeRaised);
    EXPECT_FALSE(player.Active());
    settle();
    EXPECT_EQ(takeEvents(), std::vector<std::string>{"error " + std::to_string(c.code)});
    EXPECT_EQ(player.LastError(), c.code);
  }
  EXPECT_EQ(player.GetErrorText(kWaveErrNoDevice), "No sound output device");
  // The device is back: the same player opens.
  system.setFaults({});
  system.setDeviceCount(1);
  player.setActive(true);
  settle();
  EXPECT_EQ(count("activate"), 1u);
}

TEST_F(LivePlayerTest, WithoutAnErrorHandlerAFailedOpeningRaisesTheDeviceText) {
  player.OnError = nullptr;
  system.setFaults({.open = kWaveErrAllocated});
  try {
    player.setActive(true);
    FAIL() << "no exception";
  } catch (const EWaveAudioSysError& error) {
    EXPECT_EQ(std::string(error.what()), waveOutErrorText(kWaveErrAllocated));
  }
  EXPECT_FALSE(player.Active());
}

// Exposes the open and close operations, to reach the misuse the Active property filters out.
class TExposedPlayer : public TLiveAudioPlayer {
 public:
  using TLiveAudioPlayer::CloseDevice;
  using TLiveAudioPlayer::OpenDevice;
  using TLiveAudioPlayer::TLiveAudioPlayer;
};

TEST(LivePlayer, MisuseRaisesInvalidOperationWithItsText) {
  ensureQtApplication();
  TNullWaveOutSystem system;
  TExposedPlayer player(system);
  auto textOf = [](const std::function<void()>& action) -> std::string {
    try {
      action();
    } catch (const EWaveAudioInvalidOperation& error) {
      return error.what();
    }
    return "nothing raised";
  };
  EXPECT_EQ(textOf([&] { player.CloseDevice(); }), "Device is already close");
  player.setActive(true);
  EXPECT_EQ(textOf([&] { player.OpenDevice(); }), "Device is already open");
  EXPECT_EQ(textOf([&] { player.setPCMFormat(Stereo16bit48000Hz); }),
            "Audio format cannot be changed while device is open");
  EXPECT_EQ(player.PCMFormat(), Mono16bit8000Hz);
  player.setAsync(true);  // ignored while active
  EXPECT_FALSE(player.Async());
}

TEST_F(LivePlayerTest, PauseHoldsTheBuffersAndSurvivesReopening) {
  endlessBlocks = true;
  player.setPaused(true);  // before opening: the device opens paused
  EXPECT_EQ(takeEvents(), std::vector<std::string>{"pause"});
  player.setActive(true);
  settle();
  EXPECT_TRUE(system.paused());
  const size_t requests = count("data");
  system.advance(1000);
  settle();
  EXPECT_EQ(count("data"), requests);
  player.setPaused(false);
  EXPECT_EQ(count("resume"), 1u);
  system.advance(100);
  settle();
  EXPECT_EQ(count("data"), requests + 1);
  EXPECT_EQ(player.GetPosition(), 100u);
}

TEST_F(LivePlayerTest, VolumeReachesTheDeviceOnlyWhenAskedAndAsItCanTakeIt) {
  struct TCase {
    const char* what;
    TWaveOutOptions options;
    bool lrVolume;
    uint32_t deviceVolume;  // left 100 and right 50, applied at opening
    uint16_t readLeft;
  };
  const TCase cases[] = {
      {"not asked: the device keeps its volume", 0, true, 0xFFFFFFFF, 100},
      {"separate channels", woSetVolume, true, 0x8000FFFF, 100},
      {"one volume: the mean of both", woSetVolume, false, 0xBFFFBFFF, 75},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TWaveOutCaps caps;
    caps.volume = true;
    caps.lrVolume = c.lrVolume;
    system.setCapabilities(caps);
    player.setOptions(c.options);
    player.setVolumeLeft(100);
    player.setVolumeRight(50);
    player.setActive(true);
    settle();
    EXPECT_EQ(system.lastVolume(), c.deviceVolume);
    EXPECT_EQ(player.VolumeLeft(), c.readLeft);
    player.setActive(false);
    settle();
  }
}

TEST_F(LivePlayerTest, PitchAndRateFollowTheDeviceCapabilities) {
  player.setPitch(1.5);
  player.setPlaybackRate(0.75);
  EXPECT_EQ(player.Pitch(), 1.5);  // closed: the stored value
  player.setOptions(woSetPitch | woSetPlaybackRate);
  TWaveOutCaps caps;
  caps.pitch = true;
  system.setCapabilities(caps);
  player.setActive(true);
  settle();
  EXPECT_EQ(player.Pitch(), 1.5);          // sent to the device at opening, read back from it
  EXPECT_EQ(player.PlaybackRate(), 1.0);   // open, no rate on this device
  EXPECT_EQ(player.LastError(), kWaveOk);  // an unsupported rate is not sent, so not an error
}

TEST_F(LivePlayerTest, AnExceptionInAHandlerIsReportedAndTheCycleGoesOn) {
  std::vector<std::string> reported;
  player.OnException = [&](TWaveAudioIO&, const std::string& text) { reported.push_back(text); };
  int calls = 0;
  player.OnLevel = [&](TWaveAudioIO&, int) {
    if (++calls == 1) throw std::runtime_error("level handler failed");
  };
  endlessBlocks = true;
  player.setActive(true);
  settle();
  EXPECT_EQ(reported, std::vector<std::string>{"level handler failed"});
  player.setActive(false);
  settle();
  EXPECT_FALSE(player.Active());
}

TEST_F(LivePlayerTest, DestroyingAnActivePlayerClosesTheDeviceSilently) {
  {
    TLiveAudioPlayer transient(system);
    transient.setBufferInternally(false);
    transient.OnDataPtr = player.OnDataPtr;
    transient.OnDeactivate = [this](TWaveAudioIO&) { record("deactivate"); };
    endlessBlocks = true;
    transient.setActive(true);
    settle();
    EXPECT_EQ(system.openDevices(), 1);
  }
  EXPECT_EQ(system.openDevices(), 0);
  EXPECT_EQ(count("deactivate"), 0u);
}

// Async: the same cycle, with every event on a thread of the player's own.
TEST_F(LivePlayerTest, AsyncRunsTheCycleOnItsOwnThread) {
  player.setAsync(true);
  supply = {block(1600, 0, 16384), block(1600, 0, 16384), endOfData()};
  player.setActive(true);
  ASSERT_TRUE(waitUntil([&] { return count("data") == 3; }));
  system.advance(200);
  ASSERT_TRUE(waitUntil([&] { return count("deactivate") == 1; }));
  EXPECT_FALSE(player.Active());
  std::lock_guard lock(m_mutex);
  EXPECT_EQ(events, (std::vector<std::string>{"activate", "data", "level 50", "data", "level 50",
                                              "data", "level 0", "deactivate"}));
  for (const auto& id : threads) EXPECT_EQ(id, threads.front());
  EXPECT_NE(threads.front(), std::this_thread::get_id());
}

TEST_F(LivePlayerTest, AsyncSurvivesRestartsAndDestructionWhilePlaying) {
  player.setAsync(true);
  endlessBlocks = true;
  for (int round = 0; round < 3; ++round) {
    player.setActive(true);
    ASSERT_TRUE(waitUntil([&] { return system.queuedBytes() == 16000; }));
    system.advance(250);
    player.setActive(false);
    ASSERT_TRUE(waitUntil([&] { return !player.Active(); }));
  }
  EXPECT_EQ(count("deactivate"), 3u);
  // Playing while the clock runs on another thread, then destroyed.
  auto transient = std::make_unique<TLiveAudioPlayer>(system);
  transient->setAsync(true);
  transient->setBufferInternally(false);
  transient->setBufferCount(4);
  transient->OnDataPtr = player.OnDataPtr;
  transient->setActive(true);
  std::atomic<bool> stop{false};
  std::thread clock([&] {
    while (!stop) system.advance(100);
  });
  ASSERT_TRUE(waitUntil([&] { return count("data") > 40; }));
  transient.reset();
  stop = true;
  clock.join();
  EXPECT_EQ(system.openDevices(), 0);
}

}  // namespace
