#pragma once

#include <cstdint>
#include <optional>
#include <string>

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
  // The small texts over the video: what the stream does (empty: nothing to say) and the
  // statistics (empty while they are not asked for).
  virtual void showStreamStatus(const std::string& status, const std::string& statistics) = 0;
  // How many pictures the video area has painted since it was made.
  virtual std::uint64_t framesShown() const = 0;
  // The window's title (the task bar shows it).
  virtual void setTitle(const std::string& title) = 0;
  // A short flash over the video and the file's path on the status line (a click opens its
  // folder). The path is UTF-8, as the file system spells it.
  virtual void showSnapshotSaved(const std::string& path) = 0;
  // The small "Waiting for the network..." window, shown or gone.
  virtual void showNetworkWait(bool shown) = 0;
  // The settings window on its network interfaces list.
  virtual void openInterfaceSettings() = 0;
  // The live sound's level bar, 0..100.
  virtual void setAudioLevel(int position) = 0;
  // Shown and not minimised: the user can see it.
  virtual bool onScreen() const { return true; }
  // The task bar's urgency hint, until the user brings the window up.
  virtual void requestAttention() {}
  // Brings the window up from minimised or hidden, to the front.
  virtual void bringUp() {}
};
