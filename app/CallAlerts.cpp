#include "app/CallAlerts.h"

#include "base/Text.h"
#include "core/DebugLog.h"
#include "core/UiTexts.h"

namespace {

const char* const ShowAction = "show";
const char* const OpenDoorAction = "open-door";

}  // namespace

TCallAlerts::TCallAlerts(const TAppSettings& settings, ICallAlertsHost& host,
                         IDesktopNotifier& notifier, IScreenSaver& screenSaver,
                         std::unique_ptr<TRing> ring)
    : m_settings(settings),
      m_host(host),
      m_notifier(notifier),
      m_screenSaver(screenSaver),
      m_ring(std::move(ring)) {
  m_pictureTimer.setInterval(FirstPicturePollMs);
  connect(&m_pictureTimer, &QTimer::timeout, this, &TCallAlerts::onFirstPicturePoll);
  // Queued: the button's handler may open a message box (a relay without an address), which
  // must not run inside the bus's signal delivery.
  m_notifier.setOnAction([this](const std::string& key) {
    QMetaObject::invokeMethod(
        this,
        [this, key] {
          if (key == ShowAction && onShowRequested) onShowRequested();
          if (key == OpenDoorAction && onOpenDoorRequested) onOpenDoorRequested();
        },
        Qt::QueuedConnection);
  });
}

TCallAlerts::~TCallAlerts() {
  m_notifier.setOnAction(nullptr);
  if (m_inhibited) m_screenSaver.uninhibit();
}

void TCallAlerts::setTrayView(ITrayView* view) {
  m_tray = view;
  m_trayShownOnce = false;
  showTray();
}

void TCallAlerts::callAdmitted(const std::string& panel, const std::string& caller,
                               ECallAdmitted how) {
  const bool windowUp = m_host.windowOnScreen();
  m_state.callAdmitted(panel, caller, how, windowUp);
  if (how == ECallAdmitted::Shown) m_state.setWatchedPanel(panel);
  if (!windowUp && how == ECallAdmitted::Shown) {
    debugLog("Call shown while the window is down: " + caller);
    m_host.requestAttention();
    if (m_settings.ring && m_ring) {
      // The live sound has the output to itself.
      if (!m_host.liveAudioPlaying()) m_ring->play();
      m_screenSaver.wake();
    }
    m_pending = TPending{panel, caller, m_host.shownPicture(), 0};
    m_pictureTimer.start();
  }
  update();
}

void TCallAlerts::onFirstPicturePoll() {
  if (!m_pending) {
    m_pictureTimer.stop();
    return;
  }
  m_pending->waitedMs += FirstPicturePollMs;
  const IVideoWindow::TBytes now = m_host.shownPicture();
  const bool stillWatched = m_host.watchedPanel() == m_pending->panel;
  if (stillWatched && now && now != m_pending->before) {
    sendNotification(now);
  } else if (!stillWatched || m_pending->waitedMs >= FirstPictureWaitMs) {
    sendNotification(nullptr);
  }
}

void TCallAlerts::sendNotification(IVideoWindow::TBytes picture) {
  m_pictureTimer.stop();
  if (!m_pending) return;
  const TUiTexts& t = UiTexts;
  TDesktopNotification notification;
  notification.summary = cp1252ToUtf8(t.ntfCallFrom + " " + m_pending->caller);
  notification.body = cp1252ToUtf8(t.statsPanel + " " + m_pending->panel);
  if (picture) notification.jpeg = *picture;
  notification.actions = {{ShowAction, cp1252ToUtf8(t.ntfShow)},
                          {OpenDoorAction, cp1252ToUtf8(t.trayOpenDoor)}};
  m_pending.reset();
  m_notifier.notify(notification);
}

void TCallAlerts::callEnded(const std::string& panel) {
  m_state.callEnded(panel);
  if (m_pending && m_pending->panel == panel) sendNotification(nullptr);
  update();
}

void TCallAlerts::update() {
  const bool up = m_host.windowOnScreen();
  if (up) m_state.windowBroughtUp();
  m_state.setWatchedPanel(m_host.watchedPanel());
  m_state.setPanelDetected(m_host.panelDetected());
  if (m_ring && m_ring->playing() && m_host.liveAudioPlaying()) m_ring->stop();
  const bool inProgress = m_state.picture() == ETrayPicture::CallInProgress;
  if (inProgress != m_inhibited) {
    m_inhibited = inProgress;
    if (inProgress)
      m_screenSaver.inhibit(cp1252ToUtf8(UiTexts.ntfCallFrom + " " + m_state.lastCaller()));
    else
      m_screenSaver.uninhibit();
  }
  // The notification has done its work once the user looks at the window.
  if (up && !m_state.unseenCallUnderWay() && !m_pending) m_notifier.withdraw();
  showTray();
}

void TCallAlerts::journalOpened() {
  m_state.journalOpened();
  showTray();
}

void TCallAlerts::showRelayOutcome(const std::optional<TRelayOutcome>& outcome) {
  if (m_tray != nullptr) m_tray->showRelayOutcome(outcome);
}

void TCallAlerts::applyTexts() {
  if (m_tray == nullptr) return;
  m_tray->applyTexts();
  m_trayShownOnce = false;
  showTray();
}

void TCallAlerts::showTray() {
  if (m_tray == nullptr) return;
  const ETrayPicture picture = m_state.picture();
  std::string toolTip = trayToolTip(m_state, UiTexts.trayLastCaller, UiTexts.trayMissed);
  if (m_trayShownOnce && picture == m_shownPicture && toolTip == m_shownToolTip) return;
  m_trayShownOnce = true;
  m_shownPicture = picture;
  m_shownToolTip = std::move(toolTip);
  m_tray->showTrayState(m_shownPicture, m_state.missedCount(), m_shownToolTip);
}
