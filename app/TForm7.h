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
#include "signalling/Listener.h"
#include "video/VideoViewWidget.h"

class TForm3;
class TSessionEndWatcher;
class TForm5;

// What the main window is given rather than finding for itself, so that a test can build it
// with a fake clock, environment, dialogs and host address, and a free port.
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
};

// The main window: owns every part of the program, runs start-up at its creation, wires the
// parts together and delegates to them. Lives on the UI thread.
class TForm7 : public QMainWindow, private IListenerHost, private ILedView {
  Q_OBJECT
 public:
  // Runs the whole start-up sequence. Afterwards terminationRequested() tells whether the
  // program must end without entering its event loop.
  explicit TForm7(TForm7Services services, QWidget* parent = nullptr);
  ~TForm7() override;

  // The secondary windows are created after this one; they are handed over here.
  void attachDebugWindow(TForm3* debugWindow);

  bool terminationRequested() const { return m_terminationRequested; }

  // Commands and handlers, also reachable from tests.
  void Quitter1Click();
  void Minimiser1Click();
  void Debug1Click();
  void WMQueryEndSession();

  // Run-time state that tests and later work read.
  const std::string& HostIP() const { return m_network.HostIP; }
  const TNetworkState& network() const { return m_network; }
  bool StreamWanted() const { return m_streamWanted; }
  bool FullScreenActive() const { return m_fullScreenActive; }
  bool festiveIdlePicture() const { return m_festive; }
  TNotificationListener* ServerSocket1() const { return m_serverSocket1.get(); }
  QTimer* timer(int number) const;
  const std::vector<std::string>& SniffedIPs() const { return m_discovery->SniffedIPs().items(); }
  // One discovery pass (also asked for by the settings window).
  void BCast() { m_discovery->BCast(); }

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

 private:
  // IListenerHost
  void admitCall(const std::vector<std::string>& fields, const std::string& panelAddress) override;
  void minimizeMainWindow() override;
  std::string decoderAddress() const override;
  void stopStream() override;
  std::string hostIP() const override;
  void addSniffedIP(const std::string& address) override;
  // ILedView: the detection LED (Image6).
  void setLedIcon(bool detected) override;
  void setLedHint(const std::string& hint) override;
  std::string ledHint() const override;

  void Timer2Timer();

  void buildMenus();
  void buildClientArea();
  void FormCreate();
  void FormClose();
  void FormDestroy();
  void requestTermination();
  void releaseTimer(std::unique_ptr<QTimer>& timer);
  void releaseTimers();
  void applyMainWindowTexts();

  // Start-up steps whose content belongs to other parts of the program; each is filled in
  // where that part is wired.
  void makePrivateFolderStep();
  void loadTlsStep();
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
  bool m_terminationRequested = false;

  std::unique_ptr<QTimer> m_timer1;
  std::unique_ptr<QTimer> m_timer2;
  std::unique_ptr<QTimer> m_timer3;
  std::unique_ptr<QTimer> m_timer4;
  std::unique_ptr<TNotificationListener> m_serverSocket1;

  TNetworkState m_network;
  std::unique_ptr<TDiscovery> m_discovery;
  std::string m_pendingCommand;
  std::string m_decoderAddress;

  bool m_streamWanted = false;
  bool m_fullScreenActive = false;
  bool m_festive = false;
  TVideoView::TBytes m_idlePicture;
  QPixmap m_pinOff, m_pinOn, m_ledOff, m_ledOn;
  int m_audioErrors = 0, m_levelEvents = 0, m_audioTicks = 0, m_ledDelay = 0, m_waitCount = 0;
};
