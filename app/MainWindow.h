#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPixmap>
#include <QProgressBar>
#include <QToolButton>

#include "app/StationWindow.h"
#include "video/VideoViewWidget.h"

class TDebugWindow;
class TSettingsWindow;
class TStation;
class TWaitListWindow;

// The main window: builds the window, its menus and its bottom bar, shows what the station
// tells it, and forwards the user's commands to the station. Holds no logic of its own.
// UI thread only. The station is not owned and must outlive every event the window handles;
// the secondary windows are not owned either.
class TMainWindow : public QMainWindow, public IStationWindow {
  Q_OBJECT
 public:
  // The client area under the menu bar in the normal window.
  static constexpr int ClientWidth = 419;
  static constexpr int ClientHeight = 321;

  // The window's whole look before start-up: its fixed size, the video area, the bar, French
  // texts.
  explicit TMainWindow(QWidget* parent = nullptr);
  // The fixed size of the normal window: the client area and the menu bar.
  QSize normalSize() const;
  ~TMainWindow() override;

  // Commands reach the station from now on.
  void attachStation(TStation* station);
  // The secondary windows are created after this one; they are handed over here.
  void attachDebugWindow(TDebugWindow* debugWindow);
  void attachWaitListWindow(TWaitListWindow* waitListWindow);
  void attachSettingsWindow(TSettingsWindow* settingsWindow);

  // IStationWindow
  void minimise() override;
  void applyBorderIcons(bool systemButtons, bool onTop) override;
  void applyTexts() override;
  void showRelayOutcome(const std::optional<TRelayOutcome>& outcome) override;
  void setAudioLevel(int position) override;
  // IVoiceMessageView
  void showVoiceMessage(const TVoiceMessageLook& look) override;
  // ILedView: the detection LED.
  void setLedIcon(bool detected) override;
  void setLedHint(const std::string& hint) override;
  std::string ledHint() const override;
  // IVideoWindow: the video area and the controls around it.
  void setCaption(const std::string& text) override;
  void setControlVisible(EVideoControl control, bool visible) override;
  void setControlEnabled(EVideoControl control, bool enabled) override;
  void setPicture(TBytes jpeg) override;
  TWindowPos windowPosition() const override;
  void showFullScreenGeometry() override;
  void showNormalGeometry(TWindowPos position) override;
  void setTopmost(bool on) override;
  bool audioConnectionActive() const override;
  std::string windowCaption() const override;
  void restoreApplication() override;
  ETopLevel topLevelWindow(const std::string& caption) const override;
  void restoreTopLevel(const std::string& caption) override;
  void bringToFront(const std::string& caption) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void onMinimiseTriggered();
  void onWaitListTriggered();
  void onSettingsTriggered();
  // A right click on the level bar: the live sound's volume and mute.
  void onAudioLevelMenuRequested(const QPoint& where);
  void fullScreenChangedSoon();

  void setFlagsInPlace(Qt::WindowFlags flags);
  void centre();
  void layOutClientArea();
  QWidget* control(EVideoControl which) const;
  void buildMenus();
  void buildClientArea();
  void connectCommands();

  TStation* m_station = nullptr;
  TDebugWindow* m_debugWindow = nullptr;
  TWaitListWindow* m_waitListWindow = nullptr;
  TSettingsWindow* m_settingsWindow = nullptr;
  bool m_fullScreen = false;
  bool m_reshowing = false;  // while a flag change re-shows the window

  QMenu* m_fileMenu = nullptr;
  QAction* m_minimiseAction = nullptr;
  QAction* m_quitAction = nullptr;
  QMenu* m_toolsMenu = nullptr;
  QAction* m_settingsAction = nullptr;
  QAction* m_waitListAction = nullptr;
  QAction* m_manualStreamAction = nullptr;
  QAction* m_fullScreenAction = nullptr;
  QAction* m_debugAction = nullptr;
  QMenu* m_helpMenu = nullptr;
  QAction* m_aboutAction = nullptr;
  QAction* m_helpAction = nullptr;

  QLabel* m_backdrop = nullptr;
  TVideoView* m_videoView = nullptr;
  QLabel* m_panelCaption = nullptr;
  QToolButton* m_relayButton = nullptr;
  QToolButton* m_favouriteButton = nullptr;
  QToolButton* m_stopButton = nullptr;
  QToolButton* m_snapshotButton = nullptr;
  QToolButton* m_voiceMessageButton = nullptr;
  QToolButton* m_listenButton = nullptr;
  QToolButton* m_stopListeningButton = nullptr;
  QLabel* m_recordingClock = nullptr;
  QProgressBar* m_audioLevelBar = nullptr;
  QMenu* m_liveVolumeMenu = nullptr;
  QLabel* m_alwaysOnTopPin = nullptr;
  QLabel* m_detectionLed = nullptr;

  QPixmap m_pinOff, m_pinOn, m_ledOff, m_ledOn;
  // The relay button's tooltip when it shows no outcome.
  QString m_relayHint;
};
