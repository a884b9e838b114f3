#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <memory>

#include "ui/TrayView.h"

// The tray icon: its picture follows the state, its tooltip the last caller and the missed
// count, its menu carries the commands (Show/Hide, Watch favourite, Open the door with the
// relay's feedback, Journal, Settings, Quit) as signals for the program to connect. A click on
// the icon asks to show or hide the window.
//
// available: whether the desktop has a tray (QSystemTrayIcon::isSystemTrayAvailable() in the
// program); without one the icon is never shown.
// Thread contract: UI thread only. Ownership: owns the icon and its menu.
class TTrayIcon : public QObject, public ITrayView {
  Q_OBJECT
 public:
  explicit TTrayIcon(bool available, QObject* parent = nullptr);
  ~TTrayIcon() override;

  bool available() const { return m_available; }
  // The Show/Hide item says what it will do.
  void setWindowShown(bool shown);

  // ITrayView
  void showTrayState(ETrayPicture picture, int missed, const std::string& toolTip) override;
  void showRelayOutcome(const std::optional<TRelayOutcome>& outcome) override;
  void applyTexts() override;

  // For tests: the icon and its menu.
  QSystemTrayIcon& icon() { return m_icon; }
  QMenu& menu() { return *m_menu; }
  ETrayPicture picture() const { return m_picture; }

  // The picture drawn for a state (the missed count written on it when there are some).
  static QIcon drawTrayPicture(ETrayPicture picture, int missed);

 signals:
  void showHideRequested();
  void watchFavouriteRequested();
  void openDoorRequested();
  void journalRequested();
  void settingsRequested();
  void quitRequested();

 private:
  void onActivated(QSystemTrayIcon::ActivationReason reason);

  bool m_available;
  bool m_windowShown = true;
  ETrayPicture m_picture = ETrayPicture::Idle;
  std::unique_ptr<QMenu> m_menu;
  QSystemTrayIcon m_icon;
  QAction* m_showHideAction = nullptr;
  QAction* m_favouriteAction = nullptr;
  QAction* m_openDoorAction = nullptr;
  QAction* m_journalAction = nullptr;
  QAction* m_settingsAction = nullptr;
  QAction* m_quitAction = nullptr;
  std::optional<TRelayOutcome> m_relayOutcome;
};
