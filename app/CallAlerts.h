#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "api/RelayCommand.h"
#include "audio/Ring.h"
#include "core/AppSettings.h"
#include "core/TrayState.h"
#include "platform/DesktopNotifier.h"
#include "platform/ScreenSaver.h"
#include "ui/TrayView.h"
#include "video/VideoDisplay.h"

// What the alerts ask of the station and its window.
class ICallAlertsHost {
 public:
  virtual ~ICallAlertsHost() = default;
  // The main window is shown and not minimised.
  virtual bool windowOnScreen() const = 0;
  // The task bar's urgency hint.
  virtual void requestAttention() = 0;
  // The panel whose stream is wanted now, "" when none.
  virtual std::string watchedPanel() const = 0;
  // The picture the video area shows now.
  virtual IVideoWindow::TBytes shownPicture() const = 0;
  virtual bool panelDetected() const = 0;
  virtual bool liveAudioPlaying() const = 0;
};

// Never miss a visitor: follows the calls against the main window's visibility (TTrayState),
// raises the desktop notification with the call's first picture, rings, keeps the screen saver
// off while a call is shown, and keeps the tray icon up to date. The notification's buttons
// come back through onShowRequested / onOpenDoorRequested.
//
// Thread contract: UI thread only.
// Ownership: owns the tray state, its timer and the ring; the settings, host, notifier, screen
// saver and tray view are borrowed and must outlive it.
class TCallAlerts : public QObject {
  Q_OBJECT
 public:
  // How long a call shown while the window is down waits for its first picture before the
  // notification goes without one.
  static constexpr int FirstPictureWaitMs = 4000;
  static constexpr int FirstPicturePollMs = 50;

  TCallAlerts(const TAppSettings& settings, ICallAlertsHost& host, IDesktopNotifier& notifier,
              IScreenSaver& screenSaver, std::unique_ptr<TRing> ring);
  ~TCallAlerts() override;

  // The tray icon, or nullptr when the desktop has none.
  void setTrayView(ITrayView* view);
  ITrayView* trayView() const { return m_tray; }
  std::function<void()> onShowRequested;
  std::function<void()> onOpenDoorRequested;

  // A call admission took in (the window's visibility is asked at once).
  void callAdmitted(const std::string& panel, const std::string& caller, ECallAdmitted how);
  void callEnded(const std::string& panel);
  // Follows the window, the stream, the detection light and the live sound; run often.
  void update();
  // The visitor journal was opened: the missed calls have been looked at.
  void journalOpened();
  void showRelayOutcome(const std::optional<TRelayOutcome>& outcome);
  void applyTexts();

  const TTrayState& state() const { return m_state; }
  TRing* ring() const { return m_ring.get(); }

 private:
  void onFirstPicturePoll();
  void sendNotification(IVideoWindow::TBytes picture);
  void showTray();

  const TAppSettings& m_settings;
  ICallAlertsHost& m_host;
  IDesktopNotifier& m_notifier;
  IScreenSaver& m_screenSaver;
  std::unique_ptr<TRing> m_ring;
  ITrayView* m_tray = nullptr;
  TTrayState m_state;
  // The call waiting for its first picture: its panel, caller, and the picture shown when it
  // was admitted (what the video area showed before the call).
  struct TPending {
    std::string panel, caller;
    IVideoWindow::TBytes before;
    int waitedMs = 0;
  };
  std::optional<TPending> m_pending;
  QTimer m_pictureTimer;
  bool m_inhibited = false;
  ETrayPicture m_shownPicture = ETrayPicture::Idle;
  std::string m_shownToolTip;
  bool m_trayShownOnce = false;
};
