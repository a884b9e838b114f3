#pragma once

#include <optional>

#include "api/RelayCommand.h"
#include "audio/VoiceMessage.h"
#include "net/Discovery.h"
#include "video/VideoDisplay.h"

// What the station asks of the main window: the video area and the controls around it, the
// detection LED, and the few window-wide changes start-up and the commands make. Implemented by
// the main window, and by a recording fake in tests. UI thread only; nothing here takes
// ownership of anything.
// IVoiceMessageView: the voice-message button and the recording clock beside it.
class IStationWindow : public virtual IVideoWindow, public ILedView, public IVoiceMessageView {
 public:
  // Minimised to the task bar (startMinimized, and a panel's "stop" with it).
  virtual void minimise() = 0;
  // System menu and minimise box only when systemButtons; topmost when onTop.
  virtual void applyBorderIcons(bool systemButtons, bool onTop) = 0;
  // Menus and hints in the language now loaded.
  virtual void applyTexts() = 0;
  // The relay button's look: busy, a success or a failure with its detail in the tooltip, or
  // plain again (nothing).
  virtual void showRelayOutcome(const std::optional<TRelayOutcome>& outcome) = 0;
  // The live sound's level bar, 0..100.
  virtual void setAudioLevel(int position) = 0;
};
