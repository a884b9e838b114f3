#pragma once

#include <QObject>
#include <cstddef>
#include <memory>
#include <string>

#include "audio/LivePlayer.h"
#include "audio/wave/WavePlayers.h"
#include "platform/Dialogs.h"
#include "platform/WaveOutDevice.h"

class TAudioReceiver;

// The live player as the receiver sees it: a TLiveAudioPlayer on a wave-out system, set up for
// the panel's stream (the owner's blocks without a copy, ten 100 ms buffers, events on the UI
// thread), its events carried to the receiver's onPlayer... methods, and the user's volume and
// mute for the live sound.
//
// Thread contract: UI thread, except queuedBytes and the data request, which the player may
// run in its own callback context.
// Ownership: owns the system and the player; the receiver and the dialogs are borrowed. Going
// away waits until the player has closed its device, without telling the receiver.
class TLiveAudioOutput final : public ILiveAudioPlayer {
 public:
  static constexpr int MaxVolume = 100;

  TLiveAudioOutput(std::unique_ptr<IWaveOutSystem> system, IDialogs& dialogs);
  ~TLiveAudioOutput() override;
  TLiveAudioOutput(const TLiveAudioOutput&) = delete;
  TLiveAudioOutput& operator=(const TLiveAudioOutput&) = delete;

  // The player's events go to `receiver` from now on; nullptr drops them.
  void attach(TAudioReceiver* receiver);
  // Whether the system has any sound output at all.
  bool hasOutputDevice() const;
  // percent 0..100 (clamped); muted plays silence at the device while the level still moves.
  void setVolume(int percent, bool muted);
  // The device volume the player now asks for, 0..100.
  int appliedVolume() const { return m_appliedVolume; }

  TLiveAudioPlayer& player() { return *m_player; }
  IWaveOutSystem& system() { return *m_system; }

  // ILiveAudioPlayer
  bool active() const override;
  void setActive(bool active) override;
  void setFormatId(int pcmFormatId) override;
  std::size_t queuedBytes() const override;
  void dataArrived() override;
  std::string errorText() const override;

 private:
  void showLater(const std::string& text);

  std::unique_ptr<IWaveOutSystem> m_system;
  std::unique_ptr<TLiveAudioPlayer> m_player;
  IDialogs& m_dialogs;
  int m_appliedVolume = MaxVolume;
  QObject m_context;  // queued dialogs go with this object
};
