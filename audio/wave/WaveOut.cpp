#include "audio/wave/WaveOut.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace {

constexpr std::chrono::seconds kOpeningWait(10);

uint32_t toFixed(double value) {
  if (value <= 0) return 0;
  const double whole = std::floor(value);
  const auto fraction = static_cast<uint32_t>((value - whole) * 65536.0);
  return (static_cast<uint32_t>(whole) << 16) | (fraction & 0xFFFF);
}

double fromFixed(uint32_t value) { return (value >> 16) + (value & 0xFFFF) / 65536.0; }

// Runs its work however the scope is left.
class TScopeExit {
 public:
  explicit TScopeExit(std::function<void()> work) : m_work(std::move(work)) {}
  ~TScopeExit() { m_work(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  std::function<void()> m_work;
};

}  // namespace

TWaveAudioOut::TWaveAudioOut(IWaveOutSystem& system) : TWaveAudioIO(system) {}

TWaveAudioOut::~TWaveAudioOut() { Shutdown(); }

void TWaveAudioOut::setPaused(bool paused) {
  if (paused == m_paused) return;
  if (paused)
    PauseDevice();
  else
    ResumeDevice();
}

void TWaveAudioOut::setOptions(TWaveOutOptions options) {
  std::lock_guard lock(m_lock);
  m_options = options;
  if (!m_device) return;
  SetVolume(m_volumeLeft, m_volumeRight);
  ApplyPitch();
  ApplyPlaybackRate();
}

uint16_t TWaveAudioOut::VolumeLeft() {
  uint16_t left = 0, right = 0;
  GetVolume(left, right);
  return left;
}

uint16_t TWaveAudioOut::VolumeRight() {
  uint16_t left = 0, right = 0;
  GetVolume(left, right);
  return right;
}

int TWaveAudioOut::Volume() {
  uint16_t left = 0, right = 0;
  GetVolume(left, right);
  return (left + right) / 2;
}

void TWaveAudioOut::setVolumeLeft(uint16_t percent) {
  std::lock_guard lock(m_lock);
  SetVolume(percent, m_volumeRight);
}

void TWaveAudioOut::setVolumeRight(uint16_t percent) {
  std::lock_guard lock(m_lock);
  SetVolume(m_volumeLeft, percent);
}

void TWaveAudioOut::setVolume(int percent) {
  const auto value = static_cast<uint16_t>(percent < 0 ? 0 : percent);
  SetVolume(value, value);
}

void TWaveAudioOut::GetVolume(uint16_t& left, uint16_t& right) {
  std::lock_guard lock(m_lock);
  uint32_t volume = 0;
  if (m_device && m_caps.volume && m_device->getVolume(volume) == kWaveOk) {
    m_volumeLeft = static_cast<uint16_t>(MulDiv(volume & 0xFFFF, 100, 65535));
    m_volumeRight =
        m_caps.lrVolume ? static_cast<uint16_t>(MulDiv(volume >> 16, 100, 65535)) : m_volumeLeft;
  }
  left = m_volumeLeft;
  right = m_volumeRight;
}

void TWaveAudioOut::SetVolume(uint16_t left, uint16_t right) {
  std::lock_guard lock(m_lock);
  m_volumeLeft = left;
  m_volumeRight = right;
  if ((m_options & woSetVolume) == 0 || !m_device || !m_caps.volume) return;
  if (!m_caps.lrVolume) m_volumeLeft = m_volumeRight = static_cast<uint16_t>((left + right) / 2);
  const auto low = static_cast<uint32_t>(MulDiv(m_volumeLeft, 65535, 100)) & 0xFFFF;
  const auto high = static_cast<uint32_t>(MulDiv(m_volumeRight, 65535, 100)) & 0xFFFF;
  Succeeded(m_device->setVolume(low | (high << 16)));
}

double TWaveAudioOut::Pitch() {
  std::lock_guard lock(m_lock);
  if (!m_device) return m_pitch;
  uint32_t value = 0;
  if (!m_caps.pitch || m_device->getPitch(value) != kWaveOk) return 1.0;
  return fromFixed(value);
}

void TWaveAudioOut::setPitch(double pitch) {
  std::lock_guard lock(m_lock);
  if (pitch == m_pitch) return;
  m_pitch = pitch;
  ApplyPitch();
}

double TWaveAudioOut::PlaybackRate() {
  std::lock_guard lock(m_lock);
  if (!m_device) return m_playbackRate;
  uint32_t value = 0;
  if (!m_caps.playbackRate || m_device->getPlaybackRate(value) != kWaveOk) return 1.0;
  return fromFixed(value);
}

void TWaveAudioOut::setPlaybackRate(double rate) {
  std::lock_guard lock(m_lock);
  if (rate == m_playbackRate) return;
  m_playbackRate = rate;
  ApplyPlaybackRate();
}

void TWaveAudioOut::ApplyPitch() {
  if ((m_options & woSetPitch) != 0 && m_device && m_caps.pitch)
    Succeeded(m_device->setPitch(toFixed(m_pitch)));
}

void TWaveAudioOut::ApplyPlaybackRate() {
  if ((m_options & woSetPlaybackRate) != 0 && m_device && m_caps.playbackRate)
    Succeeded(m_device->setPlaybackRate(toFixed(m_playbackRate)));
}

uint32_t TWaveAudioOut::GetPosition() {
  std::lock_guard lock(m_lock);
  TWavePosition position;
  if (!m_device || m_device->getPosition(position) != kWaveOk) return m_positionOffset;
  uint64_t ms = position.value;
  if (position.unit == TWavePosition::EUnit::Bytes)
    ms = m_waveFormat.nAvgBytesPerSec == 0 ? 0
                                           : position.value * 1000 / m_waveFormat.nAvgBytesPerSec;
  else if (position.unit == TWavePosition::EUnit::Samples)
    ms = m_waveFormat.nSamplesPerSec == 0 ? 0 : position.value * 1000 / m_waveFormat.nSamplesPerSec;
  return static_cast<uint32_t>(ms + m_positionOffset);
}

void TWaveAudioOut::SetPosition(uint32_t ms) {
  std::lock_guard lock(m_lock);
  m_positionOffset = ms;
  if (!m_device) return;
  if (Succeeded(m_device->reset()) && m_paused) m_device->pause();
}

bool TWaveAudioOut::WriteData(void* buffer, uint32_t size, bool owned, uint32_t loops) {
  std::lock_guard lock(m_lock);
  if (!m_device) return false;
  TWaveHeader* header = AddBuffer();
  if (header == nullptr) return false;
  header->data = buffer;
  header->bufferLength = size;
  header->user = owned ? this : nullptr;
  if (loops != 0) {
    header->flags |= kWaveHdrBeginLoop | kWaveHdrEndLoop;
    header->loops = loops;
  }
  if (WriteBuffer(*header)) return true;
  FreeBuffer(header);
  return false;
}

void TWaveAudioOut::RequestData() {
  std::lock_guard lock(m_lock);
  if (m_device && !m_closing && m_buffers.size() < BufferCount()) PostRequest();
}

bool TWaveAudioOut::PauseDevice() {
  std::lock_guard lock(m_lock);
  if (m_paused) return true;
  if (m_device && !Succeeded(m_device->pause())) return false;
  m_paused = true;
  FirePause();
  return true;
}

bool TWaveAudioOut::ResumeDevice() {
  std::lock_guard lock(m_lock);
  if (!m_paused) return true;
  if (m_device && !Succeeded(m_device->restart())) return false;
  m_paused = false;
  FireResume();
  return true;
}

bool TWaveAudioOut::OpenDevice() {
  if (m_opening) return false;
  if (Active()) throw EWaveAudioInvalidOperation("Device is already open");
  if (m_closing && !WaitPumping([this] { return !m_closing; }, kOpeningWait)) return false;
  ReapRetired();
  std::lock_guard lock(m_lock);
  // A close that was waited for may have re-opened nothing; an opening that was waited for may.
  if (Active()) throw EWaveAudioInvalidOperation("Device is already open");
  m_openingThread = std::this_thread::get_id();
  m_opening = true;
  const TScopeExit openingOver([this] {
    m_opening = false;
    Bump();
  });

  TWaveFormat* format = nullptr;
  bool freeIt = true;
  if (!GetWaveFormat(format, freeIt) || format == nullptr) {
    if (freeIt) std::free(format);
    Succeeded(kWaveErrBadFormat);
    return false;
  }
  const TScopeExit formatOver([format, freeIt] {
    if (freeIt) std::free(format);
  });
  // The first 16 bytes: a format block may end before cbSize.
  TWaveFormat wanted;
  std::memcpy(static_cast<void*>(&wanted), format, 16);
  wanted.cbSize = 0;
  if (!Succeeded(m_system.queryFormat(DeviceID(), wanted))) return false;
  m_waveFormat = wanted;
  m_caps = TWaveOutCaps{};
  m_system.capabilities(DeviceID(), m_caps);
  m_closeIssued = false;

  CreateCallbackTarget();
  std::unique_ptr<IWaveOutDevice> device;
  uint32_t code = kWaveErrUnspecified;
  try {
    code = m_system.open(DeviceID(), wanted, CallbackTarget(), device);
  } catch (const std::exception&) {
    code = kWaveErrUnspecified;
  }
  if (code != kWaveOk || !device) {
    // The error event may close the player from here (its owner drops the connection); that
    // close finds the opening in progress on its own thread and is dropped, since the failed
    // opening leaves the player closed anyway.
    try {
      Succeeded(code != kWaveOk ? code : kWaveErrUnspecified);
    } catch (...) {
      DestroyCallbackTarget();
      throw;
    }
    DestroyCallbackTarget();
    return false;
  }
  m_device = std::move(device);
  return true;
}

bool TWaveAudioOut::CloseDevice() {
  if (m_closing) {
    // Being destroyed: what is still playing out is not waited for.
    if (m_destroying) {
      std::lock_guard lock(m_lock);
      if (m_device) m_device->reset();
    }
    return false;
  }
  if (m_opening) {
    if (m_openingThread.load() == std::this_thread::get_id()) return false;
    if (!WaitPumping([this] { return !m_opening; }, kOpeningWait)) return false;
  }
  std::lock_guard lock(m_lock);
  if (!Active()) throw EWaveAudioInvalidOperation("Device is already close");
  if (m_closing) return false;
  m_closing = true;
  if (!m_device) {
    DoDeactivate();
    return true;
  }
  if (!Succeeded(m_device->reset())) {
    m_closing = false;
    return false;
  }
  if (m_buffers.empty()) CloseHandle();
  return true;
}

void TWaveAudioOut::ForgetDevice() {
  std::lock_guard lock(m_lock);
  m_device.reset();
}

void TWaveAudioOut::CloseHandle() {
  if (m_closeIssued || !m_device) return;
  if (Succeeded(m_device->close())) m_closeIssued = true;
}

void TWaveAudioOut::HandleOutputOpened() {
  if (m_device) {
    SetVolume(m_volumeLeft, m_volumeRight);
    ApplyPitch();
    ApplyPlaybackRate();
    if (m_paused && m_device->pause() != kWaveOk) m_paused = false;
  }
  TWaveAudioIO::HandleOutputOpened();
}

void TWaveAudioOut::HandleOutputClosed() {
  m_device.reset();
  m_positionOffset = 0;
  TWaveAudioIO::HandleOutputClosed();
}

bool TWaveAudioOut::WriteBuffer(TWaveHeader& header) {
  if (!m_device) return false;
  bool preparedHere = false;
  if ((header.flags & kWaveHdrPrepared) == 0) {
    if (!Succeeded(m_device->prepare(header))) return false;
    preparedHere = true;
  }
  DoFilter(header.data, header.bufferLength);
  DoLevel(header.data, header.bufferLength);
  // The level handler may have closed the player.
  uint32_t code = m_closing ? kWaveOk : m_device->write(header);
  if (m_closing || code != kWaveOk) {
    if (preparedHere) m_device->unprepare(header);
    if (code != kWaveOk) Succeeded(code);
    return false;
  }
  m_queuedBytes += header.bufferLength;
  return true;
}

uint32_t TWaveAudioOut::GetDataToPlay(void*, uint32_t, uint32_t&) { return 0; }

uint32_t TWaveAudioOut::GetDataPtrToPlay(void*&, uint32_t&, bool&) { return 0; }

bool TWaveAudioOut::OwnBlock(TWaveHeader& header, uint32_t size) {
  if (header.user == this && header.data != nullptr && header.bufferLength == size) return true;
  void* block = header.user == this ? std::realloc(header.data, size) : std::malloc(size);
  if (block == nullptr) {
    Succeeded(kWaveErrNoMem);
    return false;
  }
  header.data = block;
  header.bufferLength = size;
  header.user = this;
  return true;
}

void TWaveAudioOut::ReleaseBlock(TWaveHeader& header) {
  if (header.user == this) std::free(header.data);
  header.data = nullptr;
  header.bufferLength = 0;
  header.user = nullptr;
}

void TWaveAudioOut::HandleOutputDone(TWaveHeader* header) {
  // A device failure raised from here would leave a buffer behind that never comes back, so the
  // clean-up at the end always runs and the first failure is reported after it.
  std::exception_ptr failure;
  auto guarded = [&](auto&& work) {
    try {
      work();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };

  TWaveHeader* current = header;
  bool queued = false;
  if (current != nullptr) {
    const std::size_t length = current->bufferLength;
    m_queuedBytes = m_queuedBytes >= length ? m_queuedBytes - length : 0;
    if (m_device && (current->flags & kWaveHdrPrepared) != 0)
      guarded([&] { Succeeded(m_device->unprepare(*current)); });
  }

  if (!m_closing && m_device && m_buffers.size() <= BufferCount()) {
    uint32_t loops = 0;
    bool haveData = false;
    if (BufferInternally()) {
      guarded([&] {
        const uint32_t size = BufferSizeForDuration(m_waveFormat, BufferLength());
        if (current == nullptr) current = AddBuffer();
        if (current == nullptr || !OwnBlock(*current, size)) return;
        const uint32_t got = std::min(GetDataToPlay(current->data, size, loops), size);
        if (got == 0) {
          m_closing = true;
        } else {
          if (got < size) {
            if (void* shrunk = std::realloc(current->data, got)) current->data = shrunk;
            current->bufferLength = got;
          }
          haveData = true;
        }
      });
    } else {
      guarded([&] {
        void* block = nullptr;
        bool freeIt = true;
        const uint32_t count = GetDataPtrToPlay(block, loops, freeIt);
        if (block != nullptr && count != 0) {
          if (current == nullptr) current = AddBuffer();
          if (current == nullptr) {
            if (freeIt) std::free(block);
            return;
          }
          ReleaseBlock(*current);
          current->data = block;
          current->bufferLength = count;
          current->user = freeIt ? this : nullptr;
          haveData = true;
        } else if (count != 0) {
          // No block: `count` milliseconds of silence keep the device running, at most two
          // buffers of it at a time.
          if (m_buffers.size() > 1) return;
          if (current == nullptr) current = AddBuffer();
          if (current == nullptr || !OwnBlock(*current, BufferSizeForDuration(m_waveFormat, count)))
            return;
          FillWithSilence(current->data, current->bufferLength, m_waveFormat);
          haveData = true;
        } else {
          if (block != nullptr && freeIt) std::free(block);
          m_closing = true;
        }
      });
    }
    if (!m_closing && current != nullptr && haveData) {
      current->flags &= ~(kWaveHdrBeginLoop | kWaveHdrEndLoop);
      current->loops = 0;
      if (loops != 0) {
        current->flags |= kWaveHdrBeginLoop | kWaveHdrEndLoop;
        current->loops = loops;
      }
      guarded([&] { queued = WriteBuffer(*current); });
      if (queued && m_buffers.size() < BufferCount()) PostRequest();
    }
  }

  // Clean-up, always: a buffer that was not queued again is freed, and the device closes once
  // the last buffer of a closing player is back.
  if (current != nullptr && !queued) FreeBuffer(current);
  if (m_closing && m_buffers.empty()) guarded([&] { CloseHandle(); });
  if (failure) std::rethrow_exception(failure);
}
