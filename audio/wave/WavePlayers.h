#pragma once

#include <cstdint>
#include <functional>

#include "audio/wave/WaveOut.h"

// A live PCM player: plays whatever its owner hands it, buffer by buffer, and reports the peak
// level of every buffer it queues. Set the properties and events, then Active = true; the events
// follow in the order OnActivate, OnLevel per queued buffer (between the requests for data),
// OnLevel 0, OnDeactivate. See TWaveAudioIO for the threads the events run on.
//
// Memory handed over:
// - OnDataPtr: a block returned with freeIt true must have been allocated with std::malloc (or
//   grown with std::realloc); the player owns it from then on and frees it with std::free once it
//   has been played. With freeIt false the block stays the owner's and must stay valid until the
//   player has finished with it (its OnLevel of a later buffer, or OnDeactivate).
// - OnFormat: likewise, a format returned with freeIt true was allocated with std::malloc; the
//   player frees it once the device is open. It may be longer than 18 bytes (cbSize extra).
class TLiveAudioPlayer : public TWaveAudioOut {
 public:
  explicit TLiveAudioPlayer(IWaveOutSystem& system);
  ~TLiveAudioPlayer() override;

  TPCMFormat PCMFormat() const { return m_pcmFormat; }
  // Throws EWaveAudioInvalidOperation while active.
  void setPCMFormat(TPCMFormat format);
  // Whether the device can play a fixed format (asks without opening).
  bool IsPCMFormatSupported(TPCMFormat format) const;

  // With PCMFormat nonePCM: the format to open the device with.
  std::function<void(TWaveAudioIO&, TWaveFormat*& format, bool& freeIt)> OnFormat;
  // BufferInternally: fill `buffer` with up to `size` bytes; the count written, 0 to end.
  std::function<uint32_t(TWaveAudioIO&, void* buffer, uint32_t size, uint32_t& numLoops)> OnData;
  // Otherwise: a block and its byte count; or no block and a count of milliseconds of silence to
  // play while nothing is there (asked again after it); or 0 to end (what is queued plays out,
  // then the device closes).
  std::function<uint32_t(TWaveAudioIO&, void*& buffer, uint32_t& numLoops, bool& freeIt)> OnDataPtr;

  // A live stream cannot be positioned.
  void SetPosition(uint32_t ms) override;

 protected:
  bool GetWaveFormat(TWaveFormat*& format, bool& freeIt) override;
  uint32_t GetDataToPlay(void* buffer, uint32_t size, uint32_t& loops) override;
  uint32_t GetDataPtrToPlay(void*& buffer, uint32_t& loops, bool& freeIt) override;

 private:
  TPCMFormat m_pcmFormat = Mono16bit8000Hz;
};
