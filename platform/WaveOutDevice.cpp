#include "platform/WaveOutDevice.h"

#include "platform/NullWaveOut.h"
#include "platform/QtWaveOut.h"

std::string waveOutErrorText(uint32_t code) {
  switch (code) {
    case kWaveOk:
      return "The operation completed successfully.";
    case kWaveErrUnspecified:
      return "The sound output could not be used.";
    case kWaveErrBadDeviceId:
      return "The sound output device number is out of range.";
    case kWaveErrAllocated:
      return "The sound output device is already in use.";
    case kWaveErrInvalidHandle:
      return "The sound output device is not open.";
    case kWaveErrNoDevice:
      return "No sound output device";
    case kWaveErrNoMem:
      return "Not enough memory for the sound buffers.";
    case kWaveErrNotSupported:
      return "The sound output device does not support this function.";
    case kWaveErrInvalidParam:
      return "An invalid parameter was given to the sound output.";
    case kWaveErrBadFormat:
      return "The sound output device cannot play this audio format.";
    case kWaveErrStillPlaying:
      return "Sound buffers are still playing.";
    case kWaveErrUnprepared:
      return "The sound buffer was not prepared.";
    default:
      return {};
  }
}

void TWaveOutBackends::add(std::string name, TCreate create) {
  m_backends.emplace_back(std::move(name), std::move(create));
}

std::vector<std::string> TWaveOutBackends::names() const {
  std::vector<std::string> out;
  for (const auto& [name, create] : m_backends) out.push_back(name);
  return out;
}

std::unique_ptr<IWaveOutSystem> TWaveOutBackends::create(const std::string& name) const {
  for (const auto& [known, create] : m_backends)
    if (known == name) return create();
  return nullptr;
}

void registerWaveOutBackends(TWaveOutBackends& backends) {
  backends.add(kWaveOutQt, [] { return std::make_unique<TQtWaveOutSystem>(); });
  backends.add(kWaveOutNull, [] { return std::make_unique<TNullWaveOutSystem>(); });
}
