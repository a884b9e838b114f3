#include "audio/LiveAudioOutput.h"

#include <QMetaObject>
#include <algorithm>

#include "audio/AudioReceiver.h"
#include "base/LogSink.h"

namespace {

// The panel's stream: blocks from the FIFO queued as they are, 100 ms per silence-free buffer
// when the player fills its own, at most ten queued.
constexpr std::uint16_t BufferLengthMs = 100;
constexpr std::uint16_t BufferCount = 10;

}  // namespace

TLiveAudioOutput::TLiveAudioOutput(std::unique_ptr<IWaveOutSystem> system, IDialogs& dialogs)
    : m_system(std::move(system)), m_dialogs(dialogs) {
  m_player = std::make_unique<TLiveAudioPlayer>(*m_system);
  m_player->setAsync(false);
  m_player->setBufferInternally(false);
  m_player->setBufferLength(BufferLengthMs);
  m_player->setBufferCount(BufferCount);
  // The stream's own volume (not the system mixer's): the user's setting for the live sound.
  m_player->setOptions(woSetVolume);
  m_player->setVolumeLeft(MaxVolume);
  m_player->setVolumeRight(MaxVolume);
  m_player->OnException = [this](TWaveAudioIO&, const std::string& text) {
    debugLog("**** Live audio: " + text);
    showLater(text);
  };
}

// The player's destructor waits until its device has closed. Its last events would find this
// object half gone, so they are dropped: the owner closes the connection before.
TLiveAudioOutput::~TLiveAudioOutput() {
  attach(nullptr);
  m_player.reset();
  m_system.reset();
}

void TLiveAudioOutput::attach(TAudioReceiver* receiver) {
  TLiveAudioPlayer& p = *m_player;
  if (receiver == nullptr) {
    p.OnActivate = p.OnDeactivate = p.OnError = nullptr;
    p.OnLevel = nullptr;
    p.OnFormat = nullptr;
    p.OnDataPtr = nullptr;
    return;
  }
  p.OnActivate = [receiver](TWaveAudioIO&) { receiver->onPlayerActivate(); };
  p.OnDeactivate = [receiver](TWaveAudioIO&) { receiver->onPlayerDeactivate(); };
  p.OnError = [receiver](TWaveAudioIO&) { receiver->onPlayerError(); };
  p.OnLevel = [receiver](TWaveAudioIO&, int level) { receiver->onPlayerLevel(level); };
  p.OnFormat = [receiver](TWaveAudioIO&, TWaveFormat*& format, bool& freeIt) {
    void* block = nullptr;
    receiver->onPlayerFormat(block, freeIt);
    format = static_cast<TWaveFormat*>(block);
  };
  p.OnDataPtr = [receiver](TWaveAudioIO&, void*& buffer, std::uint32_t& numLoops, bool& freeIt) {
    return receiver->onPlayerDataPtr(buffer, numLoops, freeIt);
  };
}

bool TLiveAudioOutput::hasOutputDevice() const { return m_player->GetDeviceCount() > 0; }

void TLiveAudioOutput::setVolume(int percent, bool muted) {
  m_appliedVolume = muted ? 0 : std::clamp(percent, 0, MaxVolume);
  try {
    m_player->setVolume(m_appliedVolume);
  } catch (const EWaveAudioError& error) {
    // A device that refuses its volume keeps playing as it was.
    debugLog(std::string("**** Live audio volume not applied: ") + error.what());
  }
}

bool TLiveAudioOutput::active() const { return m_player->Active(); }

void TLiveAudioOutput::setActive(bool active) {
  try {
    m_player->setActive(active);
  } catch (const EWaveAudioError& error) {
    // Device failures arrive through OnError; what still escapes is told the same way.
    debugLog(std::string("**** Live audio: ") + error.what());
    showLater(error.what());
  }
}

void TLiveAudioOutput::setFormatId(int pcmFormatId) {
  try {
    m_player->setPCMFormat(static_cast<TPCMFormat>(pcmFormatId));
  } catch (const EWaveAudioError& error) {
    debugLog(std::string("**** Live audio: ") + error.what());
  }
}

std::size_t TLiveAudioOutput::queuedBytes() const { return m_player->QueuedBytes(); }

void TLiveAudioOutput::dataArrived() { m_player->RequestData(); }

std::string TLiveAudioOutput::errorText() const {
  return m_player->GetErrorText(m_player->LastError());
}

void TLiveAudioOutput::showLater(const std::string& text) {
  QMetaObject::invokeMethod(
      &m_context, [this, text] { m_dialogs.message(text, EDialogIcon::Error, EDialogButtons::Ok); },
      Qt::QueuedConnection);
}
