#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The sound output as the live player sees it: a system of numbered output devices, each opened
// for one PCM format, playing the buffers written to it in order and handing each one back when
// it has been played (or dropped by a reset).

// Result codes of the device operations; 0 is success. errorText() gives the text the user sees.
enum : uint32_t {
  kWaveOk = 0,
  kWaveErrUnspecified = 1,
  kWaveErrBadDeviceId = 2,
  kWaveErrAllocated = 4,
  kWaveErrInvalidHandle = 5,
  kWaveErrNoDevice = 6,
  kWaveErrNoMem = 7,
  kWaveErrNotSupported = 8,
  kWaveErrInvalidParam = 11,
  kWaveErrBadFormat = 32,
  kWaveErrStillPlaying = 33,
  kWaveErrUnprepared = 34,
};

// The text of a result code; empty for a code nobody gives.
std::string waveOutErrorText(uint32_t code);

// The 18-byte format record, in the little-endian layout panels send in their format block.
#pragma pack(push, 1)
struct TWaveFormat {
  uint16_t wFormatTag = 0;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 0;
  uint16_t wBitsPerSample = 0;
  uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(TWaveFormat) == 18);
inline constexpr uint16_t kWaveFormatPcm = 1;

// One buffer handed to a device. The device reads `data` until it hands the header back; it
// never frees anything. `user` belongs to whoever wrote the buffer.
struct TWaveHeader {
  void* data = nullptr;
  uint32_t bufferLength = 0;
  uint32_t bytesRecorded = 0;
  void* user = nullptr;
  uint32_t flags = 0;
  uint32_t loops = 0;  // times to play it when both loop flags are set
  TWaveHeader* next = nullptr;
};
enum : uint32_t {
  kWaveHdrDone = 0x01,
  kWaveHdrPrepared = 0x02,
  kWaveHdrBeginLoop = 0x04,
  kWaveHdrEndLoop = 0x08,
  kWaveHdrInQueue = 0x10,
};

// What a device can do besides playing.
struct TWaveOutCaps {
  std::string productName;
  uint32_t formats = 0;  // standard formats announced (bit per rate/size/channels, 0 = unknown)
  bool volume = false;
  bool lrVolume = false;  // separate left and right volumes
  bool pitch = false;
  bool playbackRate = false;
  bool sampleAccurate = false;
  bool synchronous = false;
};

// A position as the device gives it.
struct TWavePosition {
  enum class EUnit { Milliseconds, Samples, Bytes };
  EUnit unit = EUnit::Milliseconds;
  uint64_t value = 0;
};

// Where a device reports what happened. The calls may come from any thread, and also from
// inside a device call (a reset hands every queued buffer back at once): an implementation only
// posts them to be handled later, it never runs the component's handlers inline.
class IWaveOutTarget {
 public:
  virtual ~IWaveOutTarget() = default;
  virtual void waveOutOpened() = 0;
  // The buffer has been played or dropped; the device no longer touches it.
  virtual void waveOutDone(TWaveHeader* header) = 0;
  virtual void waveOutClosed() = 0;
};

// One open output. Every call is safe from any thread (the player calls it from its own
// notification context). The device stays open until close() succeeds; destroying an open device
// stops it without notifications.
class IWaveOutDevice {
 public:
  virtual ~IWaveOutDevice() = default;
  virtual uint32_t prepare(TWaveHeader& header) = 0;
  // Fails with kWaveErrStillPlaying while the header is queued.
  virtual uint32_t unprepare(TWaveHeader& header) = 0;
  // Queues a prepared buffer; waveOutDone() follows when it has been played.
  virtual uint32_t write(TWaveHeader& header) = 0;
  // Stops at once and hands every queued buffer back (each through waveOutDone()).
  virtual uint32_t reset() = 0;
  // Fails with kWaveErrStillPlaying while buffers are queued; waveOutClosed() follows.
  virtual uint32_t close() = 0;
  virtual uint32_t pause() = 0;
  virtual uint32_t restart() = 0;
  // Volume per channel in 16 bits: left in the low half, right in the high half.
  virtual uint32_t getVolume(uint32_t& volume) = 0;
  virtual uint32_t setVolume(uint32_t volume) = 0;
  // 16.16 fixed-point factors; kWaveErrNotSupported where the device has none.
  virtual uint32_t getPitch(uint32_t& pitch) = 0;
  virtual uint32_t setPitch(uint32_t pitch) = 0;
  virtual uint32_t getPlaybackRate(uint32_t& rate) = 0;
  virtual uint32_t setPlaybackRate(uint32_t rate) = 0;
  virtual uint32_t getPosition(TWavePosition& position) = 0;
};

// The output devices of one sound system. Device id -1 is the system's default output.
class IWaveOutSystem {
 public:
  virtual ~IWaveOutSystem() = default;
  virtual unsigned deviceCount() = 0;
  virtual uint32_t capabilities(int deviceId, TWaveOutCaps& caps) = 0;
  // Whether the device can play the format, without opening it.
  virtual uint32_t queryFormat(int deviceId, const TWaveFormat& format) = 0;
  // Opens the device; waveOutOpened() follows on success. The target outlives the device.
  virtual uint32_t open(int deviceId, const TWaveFormat& format, IWaveOutTarget& target,
                        std::unique_ptr<IWaveOutDevice>& device) = 0;
  virtual std::string errorText(uint32_t code) { return waveOutErrorText(code); }
};

// The sound systems the program can use, by name. Filled by registerWaveOutBackends() at start-up
// (tests add what they need); nothing registers itself.
class TWaveOutBackends {
 public:
  using TCreate = std::function<std::unique_ptr<IWaveOutSystem>()>;
  void add(std::string name, TCreate create);
  std::vector<std::string> names() const;
  // Nothing when no backend has that name.
  std::unique_ptr<IWaveOutSystem> create(const std::string& name) const;

 private:
  std::vector<std::pair<std::string, TCreate>> m_backends;
};

inline constexpr const char* kWaveOutQt = "qt";
inline constexpr const char* kWaveOutNull = "null";

// Registers the Qt Multimedia output ("qt", what the program plays on) and the clock-driven
// null output ("null").
void registerWaveOutBackends(TWaveOutBackends& backends);
