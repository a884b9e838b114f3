#include "audio/wave/WavePlayers.h"

#include <cstdlib>

TLiveAudioPlayer::TLiveAudioPlayer(IWaveOutSystem& system) : TWaveAudioOut(system) {}

TLiveAudioPlayer::~TLiveAudioPlayer() { Shutdown(); }

void TLiveAudioPlayer::setPCMFormat(TPCMFormat format) {
  if (Active())
    throw EWaveAudioInvalidOperation("Audio format cannot be changed while device is open");
  m_pcmFormat = format;
}

bool TLiveAudioPlayer::IsPCMFormatSupported(TPCMFormat format) const {
  TWaveFormat wave;
  if (!InitPCMFormatByID(wave, format)) return false;
  return m_system.queryFormat(DeviceID(), wave) == kWaveOk;
}

void TLiveAudioPlayer::SetPosition(uint32_t) {}

bool TLiveAudioPlayer::GetWaveFormat(TWaveFormat*& format, bool& freeIt) {
  if (m_pcmFormat != nonePCM) {
    format = static_cast<TWaveFormat*>(std::malloc(sizeof(TWaveFormat)));
    if (format == nullptr) return false;
    *format = TWaveFormat{};
    InitPCMFormatByID(*format, m_pcmFormat);
    freeIt = true;
    return true;
  }
  if (OnFormat) OnFormat(*this, format, freeIt);
  return format != nullptr;
}

uint32_t TLiveAudioPlayer::GetDataToPlay(void* buffer, uint32_t size, uint32_t& loops) {
  return OnData ? OnData(*this, buffer, size, loops) : 0;
}

uint32_t TLiveAudioPlayer::GetDataPtrToPlay(void*& buffer, uint32_t& loops, bool& freeIt) {
  return OnDataPtr ? OnDataPtr(*this, buffer, loops, freeIt) : 0;
}
