// The main window as the video parts see it: the caption, the picture, the controls around
// it, full screen, always on top and bringing the window to the user.
#include <QApplication>
#include <QScreen>

#include "app/MainWindow.h"
#include "app/Station.h"
#include "base/Text.h"

namespace {

QString ansi(const std::string& text) { return QString::fromStdString(cp1252ToUtf8(text)); }

}  // namespace

QWidget* TMainWindow::control(EVideoControl which) const {
  switch (which) {
    case EVideoControl::PanelCaption:
      return m_panelCaption;
    case EVideoControl::VideoView:
      return m_videoView;
    case EVideoControl::AlwaysOnTopPin:
      return m_alwaysOnTopPin;
    case EVideoControl::DetectionLed:
      return m_detectionLed;
    case EVideoControl::FavouriteButton:
      return m_favouriteButton;
    case EVideoControl::RelayButton:
      return m_relayButton;
    case EVideoControl::StopButton:
      return m_stopButton;
    case EVideoControl::SnapshotButton:
      return m_snapshotButton;
    case EVideoControl::VoiceMessageButton:
      return m_voiceMessageButton;
    case EVideoControl::ListenButton:
      return m_listenButton;
    case EVideoControl::StopListeningButton:
      return m_stopListeningButton;
    case EVideoControl::AudioLevelBar:
      return m_audioLevelBar;
  }
  return nullptr;
}

void TMainWindow::setCaption(const std::string& text) {
  m_panelCaption->setText(ansi(text));
  m_panelCaption->adjustSize();
}

void TMainWindow::setControlVisible(EVideoControl which, bool visible) {
  control(which)->setVisible(visible);
  // The caption sits over the video.
  if (which == EVideoControl::PanelCaption && visible) m_panelCaption->raise();
}

void TMainWindow::setControlEnabled(EVideoControl which, bool enabled) {
  control(which)->setEnabled(enabled);
}

void TMainWindow::setPicture(TBytes jpeg) { m_videoView->setPicture(std::move(jpeg)); }

// The client area's place on the screen: leaving full screen puts it back exactly there, which
// the frame's position cannot promise (the frame is gone while full screen and a window
// manager adds it back later).
TWindowPos TMainWindow::windowPosition() const { return {geometry().x(), geometry().y()}; }

// The window manager's full-screen state: exactly the screen, no frame, above the panels.
void TMainWindow::showFullScreenGeometry() {
  m_fullScreen = true;
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  showFullScreen();
  layOutClientArea();
  fullScreenChangedSoon();
}

void TMainWindow::showNormalGeometry(TWindowPos position) {
  m_fullScreen = false;
  showNormal();
  setFixedSize(normalSize());
  setGeometry(QRect(QPoint(position.left, position.top), normalSize()));
  layOutClientArea();
  fullScreenChangedSoon();
}

// Whoever switched full screen sets its flag after this call returns; the live-sound controls
// follow once it has.
void TMainWindow::fullScreenChangedSoon() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (m_station != nullptr) m_station->onFullScreenChanged();
      },
      Qt::QueuedConnection);
}

void TMainWindow::setTopmost(bool on) {
  Qt::WindowFlags flags = windowFlags();
  flags.setFlag(Qt::WindowStaysOnTopHint, on);
  setFlagsInPlace(flags);
  m_alwaysOnTopPin->setPixmap(on ? m_pinOn : m_pinOff);
}

bool TMainWindow::audioConnectionActive() const {
  return m_station != nullptr && m_station->audioConnected();
}

std::string TMainWindow::windowCaption() const { return utf8ToCp1252(windowTitle().toStdString()); }

void TMainWindow::restoreApplication() {
  if (isMinimized()) showNormal();
}

namespace {

QWidget* findTopLevel(const std::string& caption) {
  QString wanted = ansi(caption);
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->isWindow() && widget->windowTitle() == wanted) return widget;
  return nullptr;
}

}  // namespace

IVideoWindow::ETopLevel TMainWindow::topLevelWindow(const std::string& caption) const {
  QWidget* widget = findTopLevel(caption);
  if (widget == nullptr) return ETopLevel::Missing;
  return widget->isMinimized() ? ETopLevel::Minimised : ETopLevel::Shown;
}

void TMainWindow::restoreTopLevel(const std::string& caption) {
  if (QWidget* widget = findTopLevel(caption)) widget->showNormal();
}

void TMainWindow::bringToFront(const std::string& caption) {
  if (QWidget* widget = findTopLevel(caption)) {
    widget->raise();
    widget->activateWindow();
  }
}
