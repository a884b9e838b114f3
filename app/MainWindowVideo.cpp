// The main window as the video parts see it: the caption, the picture, the controls around
// it, full screen, always on top and bringing the window to the user.
#include <QApplication>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>

#include "app/MainWindow.h"
#include "app/Station.h"
#include "base/Text.h"
#include "core/UiTexts.h"
#include "ui/SettingsWindow.h"

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

// The texts over the video sit in its corners, small, and never take a click from it.
void TMainWindow::buildStatusTexts() {
  QWidget* client = centralWidget();
  const QString overlayStyle =
      "QLabel { color: white; background: rgba(0, 0, 0, 160); padding: 2px 4px; "
      "font: 11px; }";
  m_streamStatus = new QLabel(client);
  m_streamStatus->setObjectName("streamStatus");
  // Orange, so that a frozen picture cannot pass for a live one at a glance.
  m_streamStatus->setStyleSheet(
      "QLabel { color: black; background: rgb(255, 128, 0); padding: 2px 4px; font: bold 11px; "
      "}");
  m_streamStatus->setAttribute(Qt::WA_TransparentForMouseEvents);
  m_streamStatus->hide();
  m_streamStatistics = new QLabel(client);
  m_streamStatistics->setObjectName("streamStatistics");
  m_streamStatistics->setStyleSheet(overlayStyle);
  m_streamStatistics->setAttribute(Qt::WA_TransparentForMouseEvents);
  m_streamStatistics->hide();
  m_snapshotFlash = new QWidget(client);
  m_snapshotFlash->setObjectName("snapshotFlash");
  m_snapshotFlash->setStyleSheet("background: white;");
  m_snapshotFlash->setAttribute(Qt::WA_TransparentForMouseEvents);
  m_snapshotFlash->hide();
  m_snapshotPath = new QLabel(client);
  m_snapshotPath->setObjectName("snapshotPath");
  m_snapshotPath->setGeometry(4, 305, ClientWidth - 8, 16);
  m_snapshotPath->setStyleSheet("QLabel { font: 10px; }");
  m_snapshotPath->setTextFormat(Qt::PlainText);
  m_snapshotPath->setCursor(Qt::PointingHandCursor);
  m_snapshotPath->installEventFilter(this);
  m_snapshotPath->hide();
}

void TMainWindow::showStreamStatus(const std::string& status, const std::string& statistics) {
  m_streamStatus->setText(ansi(status));
  m_streamStatus->setVisible(!status.empty());
  m_streamStatistics->setText(ansi(statistics));
  m_streamStatistics->setVisible(!statistics.empty());
  placeStatusTexts();
}

void TMainWindow::placeStatusTexts() {
  const QRect video = m_videoView->geometry();
  m_streamStatus->adjustSize();
  m_streamStatus->move(video.left() + 6, video.bottom() - m_streamStatus->height() - 5);
  m_streamStatus->raise();
  m_streamStatistics->adjustSize();
  m_streamStatistics->move(video.right() - m_streamStatistics->width() - 5, video.top() + 6);
  m_streamStatistics->raise();
  // The bar under the picture is gone in full screen, and the path with it.
  if (m_fullScreen) m_snapshotPath->hide();
}

std::uint64_t TMainWindow::framesShown() const { return m_videoView->decodeCount(); }

void TMainWindow::setTitle(const std::string& title) { setWindowTitle(ansi(title)); }

void TMainWindow::showSnapshotSaved(const std::string& path) {
  m_snapshotFlash->setGeometry(m_videoView->geometry());
  m_snapshotFlash->show();
  m_snapshotFlash->raise();
  QTimer::singleShot(150, m_snapshotFlash, &QWidget::hide);
  const QString shown = QString::fromStdString(path);
  m_snapshotFolder = QFileInfo(shown).absolutePath();
  m_snapshotPath->setText(ansi(UiTexts.msgSnapshotSaved) + " " + shown);
  m_snapshotPath->setToolTip(m_snapshotFolder);
  m_snapshotPath->setVisible(!m_fullScreen);
}

void TMainWindow::showNetworkWait(bool shown) {
  if (!shown) {
    m_networkWait.reset();
    return;
  }
  m_networkWait = std::make_unique<QLabel>();
  auto* label = static_cast<QLabel*>(m_networkWait.get());
  label->setObjectName("networkWait");
  label->setWindowTitle("Ostrel Stream");
  label->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  // The language is chosen from the settings after the network is up: until then, both.
  label->setText(UiTexts.msgWaitingNetwork.empty()
                     ? QString::fromUtf8("Attente du r\u00e9seau...\nWaiting for the network...")
                     : ansi(UiTexts.msgWaitingNetwork));
  label->setAlignment(Qt::AlignCenter);
  label->setMargin(16);
  label->show();
}

void TMainWindow::openInterfaceSettings() {
  if (m_settingsWindow != nullptr) m_settingsWindow->openOnInterfaces();
}

void TMainWindow::bringToUser() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}
