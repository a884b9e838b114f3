#include "platform/NullWaveOut.h"

#include <algorithm>
#include <deque>

namespace {

uint64_t playLength(const TWaveHeader& header) {
  const bool looping = (header.flags & (kWaveHdrBeginLoop | kWaveHdrEndLoop)) ==
                       (kWaveHdrBeginLoop | kWaveHdrEndLoop);
  return uint64_t{header.bufferLength} * (looping && header.loops > 1 ? header.loops : 1);
}

}  // namespace

// Everything here is guarded by the system's mutex, so that advance() sees a consistent queue.
class TNullWaveOutDevice final : public IWaveOutDevice {
 public:
  TNullWaveOutDevice(TNullWaveOutSystem& system, const TWaveFormat& format, IWaveOutTarget& target)
      : m_system(system), m_format(format), m_target(target) {}
  ~TNullWaveOutDevice() override { m_system.forget(this); }

  uint32_t prepare(TWaveHeader& header) override {
    std::lock_guard lock(m_system.m_mutex);
    header.flags |= kWaveHdrPrepared;
    return kWaveOk;
  }
  uint32_t unprepare(TWaveHeader& header) override {
    std::lock_guard lock(m_system.m_mutex);
    if ((header.flags & kWaveHdrInQueue) != 0) return kWaveErrStillPlaying;
    header.flags &= ~kWaveHdrPrepared;
    return kWaveOk;
  }
  uint32_t write(TWaveHeader& header) override {
    std::lock_guard lock(m_system.m_mutex);
    if (m_closed) return kWaveErrInvalidHandle;
    if ((header.flags & kWaveHdrPrepared) == 0) return kWaveErrUnprepared;
    if (m_system.m_faults.write != 0) return m_system.m_faults.write;
    header.flags = (header.flags & ~kWaveHdrDone) | kWaveHdrInQueue;
    m_queue.push_back(&header);
    return kWaveOk;
  }
  uint32_t reset() override {
    std::lock_guard lock(m_system.m_mutex);
    if (m_closed) return kWaveErrInvalidHandle;
    if (m_system.m_faults.reset != 0) return m_system.m_faults.reset;
    while (!m_queue.empty()) finishFront();
    return kWaveOk;
  }
  uint32_t close() override {
    std::lock_guard lock(m_system.m_mutex);
    if (m_closed) return kWaveErrInvalidHandle;
    if (!m_queue.empty()) return kWaveErrStillPlaying;
    m_closed = true;
    m_target.waveOutClosed();
    return kWaveOk;
  }
  uint32_t pause() override {
    std::lock_guard lock(m_system.m_mutex);
    if (m_system.m_faults.pause != 0) return m_system.m_faults.pause;
    m_paused = true;
    return kWaveOk;
  }
  uint32_t restart() override {
    std::lock_guard lock(m_system.m_mutex);
    m_paused = false;
    return kWaveOk;
  }
  uint32_t getVolume(uint32_t& volume) override {
    std::lock_guard lock(m_system.m_mutex);
    if (!m_system.m_caps.volume) return kWaveErrNotSupported;
    volume = m_volume;
    return kWaveOk;
  }
  uint32_t setVolume(uint32_t volume) override {
    std::lock_guard lock(m_system.m_mutex);
    if (!m_system.m_caps.volume) return kWaveErrNotSupported;
    m_volume = volume;
    return kWaveOk;
  }
  uint32_t getPitch(uint32_t& pitch) override {
    std::lock_guard lock(m_system.m_mutex);
    if (!m_system.m_caps.pitch) return kWaveErrNotSupported;
    pitch = m_pitch;
    return kWaveOk;
  }
  uint32_t setPitch(uint32_t pitch) override {
    std::lock_guard lock(m_system.m_mutex);
    if (!m_system.m_caps.pitch) return kWaveErrNotSupported;
    m_pitch = pitch;
    return kWaveOk;
  }
  uint32_t getPlaybackRate(uint32_t& rate) override {
    std::lock_guard lock(m_system.m_mutex);
    if (!m_system.m_caps.playbackRate) return kWaveErrNotSupported;
    rate = m_rate;
    return kWaveOk;
  }
  uint32_t setPlaybackRate(uint32_t rate) override {
    std::lock_guard lock(m_system.m_mutex);
    if (!m_system.m_caps.playbackRate) return kWaveErrNotSupported;
    m_rate = rate;
    return kWaveOk;
  }
  uint32_t getPosition(TWavePosition& position) override {
    std::lock_guard lock(m_system.m_mutex);
    position.unit = TWavePosition::EUnit::Bytes;
    position.value = m_playedBytes;
    return kWaveOk;
  }

  // Called with the system's mutex held.
  void advance(uint32_t ms) {
    if (m_closed || m_paused) return;
    const uint64_t scaled = uint64_t{ms} * m_format.nAvgBytesPerSec + m_remainder;
    uint64_t budget = scaled / 1000;
    m_remainder = scaled % 1000;
    while (budget > 0 && !m_queue.empty()) {
      const uint64_t left = playLength(*m_queue.front()) - m_frontPlayed;
      const uint64_t step = std::min(left, budget);
      budget -= step;
      m_frontPlayed += step;
      m_playedBytes += step;
      if (m_frontPlayed == playLength(*m_queue.front())) finishFront();
    }
    // Time passes while nothing is queued too: a buffer written later starts from zero.
  }
  uint64_t queuedBytes() const {
    uint64_t total = 0;
    for (const TWaveHeader* header : m_queue) total += playLength(*header);
    return total - m_frontPlayed;
  }
  uint32_t volume() const { return m_volume; }
  bool paused() const { return m_paused; }

 private:
  void finishFront() {
    TWaveHeader* header = m_queue.front();
    m_queue.pop_front();
    m_frontPlayed = 0;
    header->flags = (header->flags & ~kWaveHdrInQueue) | kWaveHdrDone;
    m_target.waveOutDone(header);
  }

  TNullWaveOutSystem& m_system;
  const TWaveFormat m_format;
  IWaveOutTarget& m_target;
  std::deque<TWaveHeader*> m_queue;
  uint64_t m_frontPlayed = 0;
  uint64_t m_playedBytes = 0;
  uint64_t m_remainder = 0;
  bool m_paused = false;
  bool m_closed = false;
  uint32_t m_volume = 0xFFFFFFFF;
  uint32_t m_pitch = 0x10000;
  uint32_t m_rate = 0x10000;
};

TNullWaveOutSystem::TNullWaveOutSystem() {
  m_caps.productName = "Null Output";
  m_caps.volume = true;
  m_caps.lrVolume = true;
}

TNullWaveOutSystem::~TNullWaveOutSystem() = default;

void TNullWaveOutSystem::setDeviceCount(unsigned count) {
  std::lock_guard lock(m_mutex);
  m_count = count;
}

void TNullWaveOutSystem::setCapabilities(const TWaveOutCaps& caps) {
  std::lock_guard lock(m_mutex);
  m_caps = caps;
}

void TNullWaveOutSystem::setFaults(const TFaults& faults) {
  std::lock_guard lock(m_mutex);
  m_faults = faults;
}

void TNullWaveOutSystem::advance(uint32_t ms) {
  std::lock_guard lock(m_mutex);
  for (TNullWaveOutDevice* device : m_devices) device->advance(ms);
}

int TNullWaveOutSystem::openDevices() const {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(m_devices.size());
}

TWaveFormat TNullWaveOutSystem::lastFormat() const {
  std::lock_guard lock(m_mutex);
  return m_lastFormat;
}

uint64_t TNullWaveOutSystem::queuedBytes() const {
  std::lock_guard lock(m_mutex);
  uint64_t total = 0;
  for (const TNullWaveOutDevice* device : m_devices) total += device->queuedBytes();
  return total;
}

uint32_t TNullWaveOutSystem::lastVolume() const {
  std::lock_guard lock(m_mutex);
  return m_devices.empty() ? 0 : m_devices.back()->volume();
}

bool TNullWaveOutSystem::paused() const {
  std::lock_guard lock(m_mutex);
  return !m_devices.empty() && m_devices.back()->paused();
}

unsigned TNullWaveOutSystem::deviceCount() {
  std::lock_guard lock(m_mutex);
  return m_count;
}

uint32_t TNullWaveOutSystem::capabilities(int deviceId, TWaveOutCaps& caps) {
  std::lock_guard lock(m_mutex);
  if (m_count == 0) return kWaveErrNoDevice;
  if (deviceId < -1 || deviceId >= static_cast<int>(m_count)) return kWaveErrBadDeviceId;
  caps = m_caps;
  return kWaveOk;
}

uint32_t TNullWaveOutSystem::queryFormat(int deviceId, const TWaveFormat& format) {
  std::lock_guard lock(m_mutex);
  if (m_count == 0) return kWaveErrNoDevice;
  if (deviceId < -1 || deviceId >= static_cast<int>(m_count)) return kWaveErrBadDeviceId;
  if (m_faults.query != 0) return m_faults.query;
  const bool playable = format.wFormatTag == kWaveFormatPcm &&
                        (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
                        (format.nChannels == 1 || format.nChannels == 2) &&
                        format.nSamplesPerSec > 0 && format.nAvgBytesPerSec > 0;
  return playable ? kWaveOk : kWaveErrBadFormat;
}

uint32_t TNullWaveOutSystem::open(int deviceId, const TWaveFormat& format, IWaveOutTarget& target,
                                  std::unique_ptr<IWaveOutDevice>& device) {
  if (const uint32_t code = queryFormat(deviceId, format); code != kWaveOk) return code;
  std::lock_guard lock(m_mutex);
  if (m_faults.open != 0) return m_faults.open;
  auto opened = std::make_unique<TNullWaveOutDevice>(*this, format, target);
  m_devices.push_back(opened.get());
  m_lastFormat = format;
  target.waveOutOpened();
  device = std::move(opened);
  return kWaveOk;
}

void TNullWaveOutSystem::forget(TNullWaveOutDevice* device) {
  std::lock_guard lock(m_mutex);
  m_devices.erase(std::remove(m_devices.begin(), m_devices.end(), device), m_devices.end());
}
