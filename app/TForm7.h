#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DebugLog.h"
#include "net/AdapterInfo.h"
#include "net/Discovery.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Env.h"
#include "platform/NetInterfaces.h"
#include "platform/Paths.h"
#include "signalling/CallAdmission.h"
#include "signalling/Listener.h"
#include "signalling/OutgoingClient.h"
#include "video/StreamController.h"
#include "video/VideoDisplay.h"
#include "video/VideoViewWidget.h"
#include "video/WaitList.h"

class TForm3;
class TForm5;
class TSessionEndWatcher;

// What the main window is given rather than finding for itself, so that a test can build it
// with a fake clock, environment, dialogs and interface table, and free ports.
struct TForm7Services {
  TDebugLog& log;
  IDialogs& dialogs;
  const IEnv& env;
  const IClock& clock;
  const INetInterfaces& net;
  std::uint16_t listenerPort = TNotificationListener::DefaultPort;
  // The end of the desktop session; connected before start-up, whose message boxes it must
  // also be able to end. May be null.
  TSessionEndWatcher* sessionEnd = nullptr;
  // The port panels answer stream requests on.
  std::uint16_t panelSignalPort = TOutgoingClient::DefaultPort;
};

// The main window: owns every part of the program, runs start-up at its creation, wires the
// parts together and delegates to them. Lives on the UI thread.
class TForm7 : public QMainWindow,
               private IListenerHost,
               private ILedView,
               private IVideoWindow,
               private IStreamRequests {
  Q_OBJECT
 public:
  // Runs the whole start-up sequence. Afterwards terminationRequested() tells whether the
  // program must end without entering its event loop.
  explicit TForm7(TForm7Services services, QWidget* parent = nullptr);
  ~TForm7() override;

  // The secondary windows are created after this one; they are handed over here.
  void attachDebugWindow(TForm3* debugWindow);
  void attachWaitListWindow(TForm5* waitListWindow);

  bool terminationRequested() const { return m_terminationRequested; }

  // Commands and handlers, also reachable from tests.
  void Quitter1Click();
  void Minimiser1Click();
  void Debug1Click();
  void Listedattente1Click();
  void WMQueryEndSession();
  void Timer2Timer();
  // One discovery pass (also asked for by the settings window).
  void BCast() { m_discovery->BCast(); }
  void streamWItem(int index) { m_waitList->streamWItem(index); }
  void launchStream() { m_streams->launchStream(); }
  void stopStream() override { m_streams->stopStream(); }

  // The parts, for the secondary windows and for tests.
  const std::string& HostIP() const { return m_network.HostIP; }
  const TNetworkState& network() const { return m_network; }
  bool StreamWanted() const { return m_streams->StreamWanted(); }
  bool FullScreenActive() const { return m_display->FullScreenActive(); }
  bool festiveIdlePicture() const { return m_display->festive(); }
  const std::vector<std::string>& SniffedIPs() const { return m_discovery->SniffedIPs().items(); }
  TNotificationListener* ServerSocket1() const { return m_serverSocket1.get(); }
  TOutgoingClient& ClientSocket1() { return *m_clientSocket1; }
  TStreamController& streams() { return *m_streams; }
  TVideoDisplay& display() { return *m_display; }
  TWaitList& waitList() { return *m_waitList; }
  QTimer* timer(int number) const;

  // Components of the window, named as the program's documentation names them.
  QAction* Minimiser1 = nullptr;
  QAction* Quitter1 = nullptr;
  QAction* Configuration1 = nullptr;
  QAction* Listedattente1 = nullptr;
  QAction* ManualStream1 = nullptr;
  QAction* Togglefullscreen1 = nullptr;
  QAction* Debug1 = nullptr;
  QAction* propos1 = nullptr;
  QAction* Aide1 = nullptr;
  QMenu* Fichier1 = nullptr;
  QMenu* Option1 = nullptr;
  QMenu* N1 = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QToolButton* SpeedButton3 = nullptr;
  QToolButton* SpeedButton4 = nullptr;
  QToolButton* SpeedButton5 = nullptr;
  QToolButton* SpeedButton6 = nullptr;
  QToolButton* SpeedButton7 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QProgressBar* pbLevel = nullptr;
  QLabel* Image2 = nullptr;
  TVideoView* Image1 = nullptr;
  QLabel* Image3 = nullptr;
  QLabel* Image6 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // IListenerHost
  void admitCall(const std::vector<std::string>& fields, const std::string& panelAddress) override;
  void minimizeMainWindow() override;
  std::string decoderAddress() const override;
  std::string hostIP() const override;
  void addSniffedIP(const std::string& address) override;
  // ILedView: the detection LED (Image6).
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
  // IStreamRequests: the stream commands' road to the panels.
  void favouriteRequest(const std::string& address) override;
  void manualRequest(const std::string& address) override;

  QWidget* control(EVideoControl which) const;
  void buildMenus();
  void buildClientArea();
  void connectCommands();
  void FormCreate();
  void FormClose();
  void FormDestroy();
  void requestTermination();
  void releaseTimer(std::unique_ptr<QTimer>& timer);
  void releaseTimers();
  void applyMainWindowTexts();
  void applyBorderIcons();

  // Start-up steps whose content belongs to other parts of the program.
  void makePrivateFolderStep();
  void loadTlsStep();
  void createVideoStep();
  void inventoryStep();
  void loadSettingsStep();
  void applyLanguageStep();
  void interfaceCheckStep();
  void firstDiscoveryStep();
  void topmostAndHttpsStep();
  void createAudioClientStep();

  TForm7Services m_services;
  TPaths m_paths;
  TForm3* m_debugWindow = nullptr;
  TForm5* m_waitListWindow = nullptr;
  bool m_terminationRequested = false;

  std::unique_ptr<QTimer> m_timer1;
  std::unique_ptr<QTimer> m_timer2;
  std::unique_ptr<QTimer> m_timer3;
  std::unique_ptr<QTimer> m_timer4;

  TNetworkState m_network;
  std::unique_ptr<TVideoDisplay> m_display;
  std::unique_ptr<TStreamController> m_streams;
  std::unique_ptr<TWaitList> m_waitList;
  std::unique_ptr<TCallAdmission> m_admission;
  std::unique_ptr<TOutgoingClient> m_clientSocket1;
  std::unique_ptr<TDiscovery> m_discovery;
  std::unique_ptr<TNotificationListener> m_serverSocket1;

  QPixmap m_pinOff, m_pinOn, m_ledOff, m_ledOn;
};
