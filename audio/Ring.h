#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/wave/WavePlayers.h"
#include "platform/WaveOutDevice.h"

// The door chime: two falling tones, synthesised here (no recorded sample), 16-bit mono.
struct TChime {
  static constexpr int SampleRate = 22050;
  static constexpr double FirstHz = 784.0;    // G5
  static constexpr double SecondHz = 622.25;  // D#5
  static constexpr int ToneMs = 420;
};
std::vector<std::int16_t> synthesiseChime();

// Plays the chime once on a wave-out system, through a player of its own (the live sound keeps
// its own; the owner does not ring while that one plays). stop() ends the chime at once.
//
// Thread contract: UI thread (the player's events come there too).
// Ownership: owns its player; the system is borrowed and must outlive this object. Going away
// waits until the player has closed its device.
class TRing {
 public:
  explicit TRing(IWaveOutSystem& system);
  ~TRing();
  TRing(const TRing&) = delete;
  TRing& operator=(const TRing&) = delete;

  // Starts the chime; false when it cannot (no output, a chime still playing or closing, or
  // the device refused, which is logged).
  bool play();
  // Silences the chime at once; its device closes in its own time.
  void stop();
  // A chime is heard now (not stopped, device not yet closed).
  bool playing() const;

 private:
  std::vector<std::int16_t> m_samples;
  std::unique_ptr<TLiveAudioPlayer> m_player;
  bool m_queued = false;
  // A chime already told its end plays out and cannot be closed early; stop() silences it.
  bool m_stopped = false;
};
