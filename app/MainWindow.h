#pragma once

#include <QKeySequence>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPixmap>
#include <QProgressBar>
#include <QToolButton>
#include <cstdint>
#include <memory>
#include <string>

#include "app/StationWindow.h"
#include "video/VideoViewWidget.h"

class TAboutWindow;
class TDebugWindow;
class TSettingsWindow;
class TStation;
class TWaitListWindow;
class TJournalWindow;

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
  void attachAboutWindow(TAboutWindow* aboutWindow);
  // The visitor journal window, made on its first opening (null until then).
  TJournalWindow* journalWindow() const { return m_journalWindow.get(); }
  void onJournalTriggered();

  // The keys of the bottom bar's commands, shown in their tooltips and in the help page.
  static QKeySequence relayKey() { return QKeySequence(Qt::Key_F2); }
  static QKeySequence favouriteKey() { return QKeySequence(Qt::Key_F3); }
  static QKeySequence stopKey() { return QKeySequence(Qt::Key_F4); }
  static QKeySequence snapshotKey() { return QKeySequence(Qt::Key_F5); }
  static QKeySequence voiceMessageKey() { return QKeySequence(Qt::Key_F6); }
  static QKeySequence listenKey() { return QKeySequence(Qt::Key_F7); }
  static QKeySequence onTopKey() { return QKeySequence(Qt::Key_F8); }

  // IStationWindow
  void minimise() override;
  void applyBorderIcons(bool systemButtons, bool onTop) override;
  void applyTexts() override;
  void showRelayOutcome(const std::optional<TRelayOutcome>& outcome) override;
  void setAudioLevel(int position) override;
  // IVoiceMessageView
  void showVoiceMessage(const TVoiceMessageLook& look) override;
  void showStreamStatus(const std::string& status, const std::string& statistics) override;
  std::uint64_t framesShown() const override;
  void setTitle(const std::string& title) override;
  void showSnapshotSaved(const std::string& path) override;
  void showNetworkWait(bool shown) override;
  void openInterfaceSettings() override;
  // Brought to the user: another copy of the program was started.
  void bringToUser();
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
  bool onScreen() const override;
  void requestAttention() override;
  void bringUp() override { bringToUser(); }

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
  void onAboutTriggered();
  void onHelpTriggered();
  void applyAccessibleTexts();
  void setTabOrderOfTheBar();
  // A right click on the level bar: the live sound's volume and mute.
  void onAudioLevelMenuRequested(const QPoint& where);
  void fullScreenChangedSoon();

  void setFlagsInPlace(Qt::WindowFlags flags);
  void centre();
  void layOutClientArea();
  QWidget* control(EVideoControl which) const;
  void buildMenus();
  void buildClientArea();
  void buildStatusTexts();
  void placeStatusTexts();
  void connectCommands();

  TStation* m_station = nullptr;
  TDebugWindow* m_debugWindow = nullptr;
  TWaitListWindow* m_waitListWindow = nullptr;
  TSettingsWindow* m_settingsWindow = nullptr;
  TAboutWindow* m_aboutWindow = nullptr;
  bool m_fullScreen = false;
  bool m_reshowing = false;  // while a flag change re-shows the window

  QMenu* m_fileMenu = nullptr;
  QAction* m_minimiseAction = nullptr;
  QAction* m_quitAction = nullptr;
  QMenu* m_toolsMenu = nullptr;
  QAction* m_settingsAction = nullptr;
  QAction* m_waitListAction = nullptr;
  QAction* m_journalAction = nullptr;
  std::unique_ptr<TJournalWindow> m_journalWindow;
  QAction* m_manualStreamAction = nullptr;
  QAction* m_fullScreenAction = nullptr;
  QAction* m_debugAction = nullptr;
  QAction* m_statisticsAction = nullptr;
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

  // Over the video: what the stream does, the statistics, the snapshot's flash; under the bar,
  // where the last snapshot went.
  QLabel* m_streamStatus = nullptr;
  QLabel* m_streamStatistics = nullptr;
  QWidget* m_snapshotFlash = nullptr;
  QLabel* m_snapshotPath = nullptr;
  QString m_snapshotFolder;
  std::unique_ptr<QWidget> m_networkWait;

  QPixmap m_pinOff, m_pinOn, m_ledOff, m_ledOn;
  // The relay button's tooltip when it shows no outcome.
  QString m_relayHint;
};
