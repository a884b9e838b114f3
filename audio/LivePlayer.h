#pragma once

#include <cstddef>
#include <string>

// What the audio receiver needs of the live player. The station adapts its TLiveAudioPlayer to
// this and forwards the player's events to the receiver's onPlayer... methods.
class ILiveAudioPlayer {
 public:
  virtual ~ILiveAudioPlayer() = default;
  // True from the start of an opening until the player has deactivated.
  virtual bool active() const = 0;
  // true opens the output device (activation is reported later); false stops at once and
  // discards what is queued. Setting the current value does nothing.
  virtual void setActive(bool active) = 0;
  // The TPCMFormat value (1..20) to open the device with; only while not active.
  virtual void setFormatId(int pcmFormatId) = 0;
  // Bytes queued on the device and not yet played. May be called from the player's own
  // callback context.
  virtual std::size_t queuedBytes() const = 0;
  // New sound is waiting in the FIFO: the player takes it now (no-op while closed).
  virtual void dataArrived() = 0;
  // The platform's text for the player's last error.
  virtual std::string errorText() const = 0;
};
