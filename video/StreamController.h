#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/AppSettings.h"
#include "core/StreamControl.h"
#include "core/StreamRequests.h"
#include "platform/Dialogs.h"
#include "video/MJPEGDecoder.h"
#include "video/VideoDisplay.h"

// Stands in for the outgoing client until it is wired: says in the log what would be asked.
class TLoggedStreamRequests final : public IStreamRequests {
 public:
  void favouriteRequest(const std::string& address) override;
  void manualRequest(const std::string& address) override;
};

// Decides which panel's video is watched: owns the one current decoder, starts and stops
// streams, keeps a wanted stream alive from the one-second watchdog tick, and carries the user's
// stream commands.
//
// Thread contract: UI thread only. The decoder calls back on the UI thread too (its frames
// come from its own receiving thread through the event loop).
// Ownership: owns the current TMJPEGDecoder, replaced by a fresh object at every restart; the
// window, display, dialogs and requests are borrowed and must outlive the controller.
class TStreamController final : public IStreamControl {
 public:
  static constexpr const char* StreamPath = "/?action=streaming";

  // settings: read at every command (the settings window may change them).
  TStreamController(IVideoWindow& window, TVideoDisplay& display, IDialogs& dialogs,
                    const TAppSettings& settings);
  ~TStreamController() override;
  TStreamController(const TStreamController&) = delete;
  TStreamController& operator=(const TStreamController&) = delete;

  // Where the favourite and manual commands go; nullptr puts back the logging stand-in.
  void setStreamRequests(IStreamRequests* requests);

  // IStreamControl
  bool StreamWanted() const override { return m_streamWanted; }
  TStreamTarget target() const override;
  void setTarget(const TStreamTarget& target) override;
  void launchStream() override;
  void stopStream() override;
  void clearSnapDone() override;
  // Quitting and closing the window: nothing is restarted any more; the rest stays as it is.
  void clearStreamWanted() { m_streamWanted = false; }

  // The watchdog tick's stream step: a wanted stream that is not running is restarted with a fresh
  // decoder and the same target.
  void watchdogStep();

  // The favourite panel's stream (the entry `priority` of `platines`).
  void onFavouriteClicked();
  // The stop command.
  void onStopClicked();
  // A panel's stream by a typed address.
  void onManualStreamTriggered();

  // Brings the top-level window with exactly this caption to the user.
  void focusWindow(const std::string& caption);

  // The decoder's text handlers.
  void HandleError(TMJPEGDecoder& decoder, const std::string& text);
  void HandleMessage(TMJPEGDecoder& decoder, const std::string& text);

  // The current decoder; a restart replaces it, so never keep the reference.
  TMJPEGDecoder& decoder() { return *m_decoder; }

  // A Port text as a TCP port: decimal digits only, 1 to 65535.
  static std::optional<int> portNumber(const std::string& text);

 private:
  void replaceDecoder();
  void connectDecoder();

  IVideoWindow& m_window;
  TVideoDisplay& m_display;
  IDialogs& m_dialogs;
  const TAppSettings& m_settings;
  TLoggedStreamRequests m_loggedRequests;
  IStreamRequests* m_requests = &m_loggedRequests;
  std::unique_ptr<TMJPEGDecoder> m_decoder;
  bool m_streamWanted = false;
};
