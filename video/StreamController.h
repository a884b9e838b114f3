#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Dialogs.h"
#include "video/MJPEGDecoder.h"
#include "video/StreamControl.h"
#include "video/VideoDisplay.h"

// The outgoing client's two requests: ask a panel (port 2201) for its stream. The panel's
// answer comes back as a target and a launchStream. UI thread only.
class IStreamRequests {
 public:
  virtual ~IStreamRequests() = default;
  virtual void favouriteRequest(const std::string& address) = 0;
  // Does nothing for an empty address.
  virtual void manualRequest(const std::string& address) = 0;
};

// Stands in for the outgoing client until it is wired: says in the log what would be asked.
class TLoggedStreamRequests final : public IStreamRequests {
 public:
  void favouriteRequest(const std::string& address) override;
  void manualRequest(const std::string& address) override;
};

// Decides which panel's video is watched: owns the one current decoder, starts and stops
// streams, keeps a wanted stream alive from Timer2's watchdog step, and carries the user's
// stream commands.
//
// Thread contract: UI thread only. The decoder calls back on the UI thread too (its frames
// come from its own receiving thread through the event loop).
// Ownership: owns the current TMJPEGDecoder, replaced by a fresh object at every restart; the
// window, display, dialogs and requests are borrowed and must outlive the controller.
class TStreamController final : public IStreamControl {
 public:
  static constexpr const char* StreamPath = "/?action=streaming";

  TStreamController(IVideoWindow& window, TVideoDisplay& display, IDialogs& dialogs);
  ~TStreamController() override;
  TStreamController(const TStreamController&) = delete;
  TStreamController& operator=(const TStreamController&) = delete;

  // Where the favourite and manual commands go; nullptr puts back the logging stand-in.
  void setStreamRequests(IStreamRequests* requests);

  // IStreamControl
  bool StreamWanted() const override { return m_streamWanted; }
  TStackStream target() const override;
  void setTarget(const TStackStream& target) override;
  void launchStream() override;
  void stopStream() override;
  void clearSnapDone() override;
  // Quitting and closing the window: nothing is restarted any more; the rest stays as it is.
  void clearStreamWanted() { m_streamWanted = false; }

  // Timer2's stream step: a wanted stream that is not running is restarted with a fresh
  // decoder and the same target.
  void watchdogStep();

  // The favourite panel's stream (the entry `priority` of `platines`).
  void SpeedButton1Click();
  // The stop command.
  void SpeedButton3Click();
  // A panel's stream by a typed address.
  void ManualStream1Click();

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
  TLoggedStreamRequests m_loggedRequests;
  IStreamRequests* m_requests = &m_loggedRequests;
  std::unique_ptr<TMJPEGDecoder> m_decoder;
  bool m_streamWanted = false;
};
