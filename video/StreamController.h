#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/AppSettings.h"
#include "core/StreamControl.h"
#include "core/StreamRequests.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "video/MJPEGDecoderInterface.h"
#include "video/StreamOverlay.h"
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
// come from its own receiving thread through the event loop). Starts and stops are reached from
// socket, timer and hand-over handlers, so no modal box is ever opened from inside one: its
// nested event loop could delete what the handler still uses (the socket being read). Such a
// box is shown from a queued call once the handler has returned.
// Ownership: owns the current decoder, made by the factory and replaced by a fresh one at every
// restart and stop; the window, display, dialogs, clock and requests are borrowed and must
// outlive the controller.
class TStreamController final : public IStreamControl {
 public:
  static constexpr const char* StreamPath = "/?action=streaming";
  // The least time between the end of a failed or broken stream and the watchdog's next
  // attempt: one watchdog period, less what a coarse one-second timer may fire early.
  static constexpr std::chrono::milliseconds RetryGap{900};

  using TDecoderFactory = std::function<std::unique_ptr<IMJPEGDecoder>()>;
  // Real decoders, reading real panels.
  static TDecoderFactory realDecoders();

  // settings: read at every command (the settings window may change them).
  TStreamController(IVideoWindow& window, TVideoDisplay& display, IDialogs& dialogs,
                    const TAppSettings& settings, const IClock& clock,
                    TDecoderFactory makeDecoder = realDecoders());
  ~TStreamController() override;
  TStreamController(const TStreamController&) = delete;
  TStreamController& operator=(const TStreamController&) = delete;

  // Sees every frame received, with the address of its panel, before it is shown.
  using TFrameObserver =
      std::function<void(const std::string& address, const TJPEGImage::TBytes& jpeg)>;
  void setOnFrame(TFrameObserver observer) { m_onFrame = std::move(observer); }

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

  // The watchdog tick's stream step: a wanted stream that is neither running nor being opened is
  // restarted with a fresh decoder and the same target, RetryGap at the earliest after the last
  // attempt ended.
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
  void HandleError(IMJPEGDecoder& decoder, const std::string& text);
  void HandleMessage(IMJPEGDecoder& decoder, const std::string& text);

  // What the picture says about the stream: fed here, shown by the window.
  TStreamOverlay& overlay() { return m_overlay; }
  const TStreamOverlay& overlay() const { return m_overlay; }

  // The current decoder; a restart or a stop replaces it, so never keep the reference.
  IMJPEGDecoder& decoder() { return *m_decoder; }

  // The text of the box about a refused reply; the password shows as one "\x95" (a bullet) per
  // character.
  static std::string refusedReplyText(const TStreamTarget& refused);

  // A Port text as a TCP port: decimal digits only (leading zeros allowed), value 1 to 65535.
  static std::optional<int> portNumber(const std::string& text);

 private:
  // A fresh decoder with the same target.
  void replaceDecoder();
  void connectDecoder();
  void onDecoderStopped(IMJPEGDecoder& decoder);

  IVideoWindow& m_window;
  TVideoDisplay& m_display;
  IDialogs& m_dialogs;
  const TAppSettings& m_settings;
  const IClock& m_clock;
  TDecoderFactory m_makeDecoder;
  TFrameObserver m_onFrame;
  // Context of the queued boxes: they are dropped with the controller.
  QObject m_queued;
  TLoggedStreamRequests m_loggedRequests;
  IStreamRequests* m_requests = &m_loggedRequests;
  std::unique_ptr<IMJPEGDecoder> m_decoder;
  bool m_streamWanted = false;
  // The target the current decoder connected to, kept when its reply was refused: the box is
  // about that panel, whatever target has been set since.
  std::optional<TStreamTarget> m_refused;
  // When the current decoder's last attempt or stream ended by itself.
  std::optional<std::chrono::steady_clock::time_point> m_lastEnded;
  // The target given to the current decoder's Connect.
  TStreamTarget m_attempted;
  TStreamOverlay m_overlay;
  // The watchdog's restart goes through stopStream and launchStream: for the overlay it is the
  // same stream going on.
  bool m_restarting = false;
  // The first line of the last reply the decoder reported as refused.
  std::string m_refusedStatusLine;
};
