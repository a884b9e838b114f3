#include "ui/TrayIconWidget.h"

#include <QPainter>
#include <QPainterPath>

#include "base/Text.h"
#include "core/UiTexts.h"
#include "ui/Icons.h"

namespace {

QString ansi(const std::string& text) { return QString::fromStdString(cp1252ToUtf8(text)); }

QColor colourOf(ETrayPicture picture) {
  switch (picture) {
    case ETrayPicture::Idle:
      return QColor(0x80, 0x80, 0x80);
    case ETrayPicture::PanelDetected:
      return QColor(0x2e, 0x9e, 0x44);
    case ETrayPicture::CallInProgress:
      return QColor(0x1e, 0x6f, 0xd9);
    case ETrayPicture::MissedCalls:
      return QColor(0xd1, 0x3b, 0x2e);
  }
  return Qt::gray;
}

}  // namespace

TTrayIcon::TTrayIcon(bool available, QObject* parent)
    : QObject(parent), m_available(available), m_menu(std::make_unique<QMenu>()) {
  m_menu->setObjectName("trayMenu");
  auto add = [this](const char* name, EIcon icon, void (TTrayIcon::*signal)()) {
    QAction* action = m_menu->addAction(menuIcon(icon), QString());
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, signal);
    return action;
  };
  m_showHideAction = add("trayShowHideAction", EIcon::Watch, &TTrayIcon::showHideRequested);
  m_menu->addSeparator();
  m_favouriteAction =
      add("trayFavouriteAction", EIcon::Favourite, &TTrayIcon::watchFavouriteRequested);
  m_openDoorAction = add("trayOpenDoorAction", EIcon::Relay, &TTrayIcon::openDoorRequested);
  m_journalAction = add("trayJournalAction", EIcon::WaitList, &TTrayIcon::journalRequested);
  m_settingsAction = add("traySettingsAction", EIcon::Settings, &TTrayIcon::settingsRequested);
  m_menu->addSeparator();
  m_quitAction = add("trayQuitAction", EIcon::Quit, &TTrayIcon::quitRequested);
  m_icon.setContextMenu(m_menu.get());
  m_icon.setIcon(drawTrayPicture(m_picture, 0));
  m_icon.setToolTip("Ostrel Stream");
  connect(&m_icon, &QSystemTrayIcon::activated, this, &TTrayIcon::onActivated);
  applyTexts();
  if (m_available) m_icon.show();
}

TTrayIcon::~TTrayIcon() { m_icon.hide(); }

void TTrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::Trigger) emit showHideRequested();
}

void TTrayIcon::setWindowShown(bool shown) {
  m_windowShown = shown;
  m_showHideAction->setText(ansi(shown ? UiTexts.trayHide : UiTexts.trayShow));
}

void TTrayIcon::showTrayState(ETrayPicture picture, int missed, const std::string& toolTip) {
  m_picture = picture;
  m_icon.setIcon(drawTrayPicture(picture, missed));
  m_icon.setToolTip(ansi(toolTip));
}

void TTrayIcon::showRelayOutcome(const std::optional<TRelayOutcome>& outcome) {
  m_relayOutcome = outcome;
  QString text = ansi(UiTexts.trayOpenDoor);
  if (outcome) {
    switch (outcome->state) {
      case ERelayState::Busy:
        text += QStringLiteral(" \u2026");
        break;
      case ERelayState::Success:
        text += QStringLiteral(" \u2714 ") + ansi(outcome->detail);
        break;
      case ERelayState::Failure:
        text += QStringLiteral(" \u2718 ") + ansi(outcome->detail);
        break;
    }
  }
  m_openDoorAction->setText(text);
  m_openDoorAction->setEnabled(!outcome || outcome->state != ERelayState::Busy);
}

void TTrayIcon::applyTexts() {
  const TUiTexts& t = UiTexts;
  setWindowShown(m_windowShown);
  m_favouriteAction->setText(ansi(t.trayWatchFavourite));
  showRelayOutcome(m_relayOutcome);
  m_journalAction->setText(ansi(t.trayJournal));
  m_settingsAction->setText(ansi(t.menuSettings));
  m_quitAction->setText(ansi(t.menuQuit));
}

QIcon TTrayIcon::drawTrayPicture(ETrayPicture picture, int missed) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::white, 1.5));
  painter.setBrush(colourOf(picture));
  painter.drawEllipse(QRectF(1.5, 1.5, 29, 29));
  if (picture == ETrayPicture::MissedCalls && missed > 0) {
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(missed > 9 ? 14 : 18);
    painter.setFont(font);
    painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter,
                     missed > 99 ? QStringLiteral("99+") : QString::number(missed));
  } else {
    // A door: its frame and its handle.
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(11, 8, 10, 16));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(18, 16.5), 1.3, 1.3);
  }
  painter.end();
  return QIcon(pixmap);
}
