#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "api/ApiWorker.h"
#include "api/RelayCommand.h"
#include "app/CallAlerts.h"
#include "app/StationWindow.h"
#include "app/WindowAudioControls.h"
#include "audio/AudioReceiver.h"
#include "audio/LiveAudioOutput.h"
#include "audio/VoiceMessage.h"
#include "core/AppSettings.h"
#include "core/CallJournal.h"
#include "core/DebugLog.h"
#include "core/Journal.h"
#include "core/SettingsHost.h"
#include "net/AdapterInfo.h"
#include "net/Discovery.h"
#include "platform/Clock.h"
#include "platform/DesktopNotifier.h"
#include "platform/Dialogs.h"
#include "platform/Env.h"
#include "platform/NetInterfaces.h"
#include "platform/Paths.h"
#include "platform/Recorder.h"
#include "platform/ScreenSaver.h"
#include "platform/WaveOutDevice.h"
#include "signalling/CallAdmission.h"
#include "signalling/Listener.h"
#include "signalling/ListenerHost.h"
#include "signalling/OutgoingClient.h"
#include "video/StreamController.h"
#include "video/VideoDisplay.h"
#include "video/WaitList.h"

class TSessionEndWatcher;

// What the station is given rather than finding for itself, so that a test can run it with a
// fake clock, environment, dialogs and interface table, and free ports.
struct TStationServices {
  TDebugLog& log;
  IDialogs& dialogs;
  const IEnv& env;
  const IClock& clock;
  const INetInterfaces& net;
  // The settings record the parts read and start-up loads.
  TAppSettings& settings;
  std::uint16_t listenerPort = TNotificationListener::DefaultPort;
  // The end of the desktop session; connected before start-up, whose message boxes it must
  // also be able to end. May be null.
  TSessionEndWatcher* sessionEnd = nullptr;
  // The port panels answer stream requests on.
  std::uint16_t panelSignalPort = TOutgoingClient::DefaultPort;
  // The shared folder that holds the per-user fallback temporary folder.
  std::string sharedTemp = "/tmp";
  // The recording backends for the voice message; none (or null): no sound input.
  const TRecorderRegistry* recorders = nullptr;
  // Started by the session's autostart entry: a host without an address yet is waited for.
  bool startedByAutostart = false;
  // The sound outputs and the one the live sound plays on; none (or an unknown name): no sound
  // output, and the listen button says so.
  const TWaveOutBackends* waveOutBackends = nullptr;
  std::string waveOutBackend = kWaveOutQt;
  // The panels' audio port.
  std::uint16_t panelAudioPort = TAudioReceiver::DefaultPort;
  // The desktop's notifications and screen saver; null: the desktop has none.
  IDesktopNotifier* notifier = nullptr;
  IScreenSaver* screenSaver = nullptr;
};

// The program without its widgets: owns the listener, call admission, the outgoing client,
// discovery, the stream controller, the display logic, the wait list and the four timers; runs
// start-up in its fixed order and the shutdown; carries the user's commands to the parts.
// Shows everything through IStationWindow and the dialogs service.
//
// Thread contract: UI thread only.
// Ownership: owns every part; the window and the services are borrowed and must outlive it.
class TStation : public QObject,
                 public ISettingsHost,
                 private IListenerHost,
                 private ICallAlertsHost {
  Q_OBJECT
 public:
  static constexpr int DiscoveryPeriodMs = 10000;
  static constexpr int WatchdogPeriodMs = 1000;
  static constexpr int RecordingClockPeriodMs = 10;
  static constexpr int ListenCooldownPeriodMs = 4000;
  // How often the texts over the video follow the stream (and the statistics their figures).
  static constexpr int StatusPeriodMs = 250;
  // How often the host's address is looked at while waiting for the network.
  static constexpr int NetworkPollMs = 250;
  // How often the journal's retention runs after the one at start-up.
  static constexpr int JournalRetentionPeriodMs = 24 * 60 * 60 * 1000;

  TStation(TStationServices services, IStationWindow& window);
  ~TStation() override;
  TStation(const TStation&) = delete;
  TStation& operator=(const TStation&) = delete;

  // The whole start-up sequence. Afterwards terminationRequested() tells whether the program
  // must end without entering its event loop.
  void runStartUp();
  bool terminationRequested() const { return m_terminationRequested; }

  // The user's commands.
  void onQuitTriggered();
  void onDebugTriggered();
  void onSessionEnding();
  // The user closed the main window: the sockets go, nothing is restarted; the loop ends.
  void onCloseRequested();
  void onFavouriteClicked();
  // Opens the door of the watched panel, else of the favourite one, through its API.
  void onRelayClicked();
  // Starts a voice message, or ends it and sends it to the watched or the favourite panel.
  void onVoiceMessageClicked();
  void onStopClicked();
  void onSnapshotClicked();
  // Live sound: listen to the priority panel, stop, the window's full-screen change, and the
  // user's volume and mute (applied at once and saved).
  void onListenClicked();
  void onStopListeningClicked();
  void onFullScreenChanged();
  void setLiveVolume(int percent, bool muted);
  bool audioConnected() const;
  void onManualStreamTriggered();
  // The tray icon (nullptr: the desktop has none, and closing the window quits as always).
  void setTrayView(ITrayView* view);
  // The window's close box hides the window instead of quitting.
  bool closesToTray() const;
  // The journal: the tray's item opens it through the opener given here; the journal window
  // tells when it was opened, which clears the missed calls.
  void setJournalOpener(std::function<void()> opener) { m_journalOpener = std::move(opener); }
  void onJournalTriggered();
  void journalOpened();
  // The calls, missed calls, notification, ring and screen saver; made by start-up.
  TCallAlerts* callAlerts() const { return m_alerts.get(); }
  void toggleFullScreen();
  void toggleAlwaysOnTop();
  // The main window's keys; true when the key was used.
  bool handleKey(int key);

  // The one-second tick: detection LED, stream watchdog, idle picture.
  void onWatchdogTick();
  // The recording clock's 10 ms tick.
  void onRecordingClockTick();
  // The texts over the video and the window title, brought up to date.
  void onStatusTick();
  // The statistics over the video, on demand (off at start).
  void setStatisticsShown(bool shown);

  // Published operations.
  void BCast() override;
  void streamWItem(int index);
  void launchStream();
  void stopStream() override;

  // The parts, for the windows and for tests. Made by start-up; the listener and the timers
  // may be gone after a refused start or a degraded one.
  const TStationServices& services() const { return m_services; }
  const std::string& HostIP() const { return m_network.HostIP; }
  const TNetworkState& network() const { return m_network; }
  bool StreamWanted() const;
  TNotificationListener* listener() const { return m_listener.get(); }
  TOutgoingClient* outgoingClient() const { return m_outgoingClient.get(); }
  TStreamController& streams() { return *m_streams; }
  TVideoDisplay& display() { return *m_display; }
  const TVideoDisplay& display() const { return *m_display; }
  TWaitList& waitList() { return *m_waitList; }
  TDiscovery& discovery() { return *m_discovery; }
  const std::vector<std::string>& SniffedIPs() const override;

  // What the settings window asks of the station.
  std::vector<std::string> interfaceChoices() const override;
  void refreshInterfaces() override;
  void applyBorderIcons() override;
  void applyTopmost() override;
  void applyMainWindowTexts() override;
  void restartProgram() override;
  QTimer* discoveryTimer() const { return m_discoveryTimer.get(); }
  QTimer* watchdogTimer() const { return m_watchdogTimer.get(); }
  QTimer* recordingClockTimer() const { return m_recordingClockTimer.get(); }
  QTimer* listenCooldownTimer() const { return m_listenCooldownTimer.get(); }
  TApiWorker& apiWorker() { return *m_apiWorker; }
  TVoiceMessage& voiceMessage() { return *m_voice; }
  TAudioReceiver* audioReceiver() { return m_audio.get(); }
  TLiveAudioOutput* liveOutput() { return m_liveOutput.get(); }
  // The visitor journal and what records calls in it (null before start-up made them).
  TJournal* journal() { return m_journal.get(); }
  TCallJournal* callJournal() { return m_calls.get(); }
  std::string journalFile() const { return m_paths.journalFile(); }
  // Removes what the journal keeps too long or beyond its size (start-up and once a day).
  void applyJournalRetention();

 private:
  // IListenerHost
  void admitCall(const std::vector<std::string>& fields, const std::string& panelAddress) override;
  void minimizeMainWindow() override;
  std::string decoderAddress() const override;
  std::string hostIP() const override;
  void addSniffedIP(const std::string& address) override;
  void callEnded(const std::string& address, bool wasWatched) override;

  // ICallAlertsHost
  bool windowOnScreen() const override { return m_window.onScreen(); }
  void requestAttention() override { m_window.requestAttention(); }
  std::string watchedPanel() const override;
  IVideoWindow::TBytes shownPicture() const override;
  bool panelDetected() const override;
  bool liveAudioPlaying() const override;
  void createCallAlertsStep();

  void requestTermination();
  void releaseTimer(std::unique_ptr<QTimer>& timer);
  void releaseTimers();
  void makeTimers();

  // Start-up steps whose content belongs to other parts of the program.
  void createVideoStep();
  void createApiStep();
  void showRelayOutcome(const TRelayOutcome& outcome);
  TVoiceContext voiceContext() const;
  void followRecording();
  bool openListenerStep();
  void loadSettingsStep();
  void topmostAndHttpsStep();
  void tempFolderWarningStep();
  void createAudioClientStep();
  void createJournalStep();
  // Told once per run, from a queued call: never from inside the handler that found it.
  void reportJournalProblem(const std::string& text);
  void followCalls();
  // Started with the session before the network: waits for an address, up to a minute.
  void waitForNetwork();
  // First start: the one usable interface is chosen and stored.
  void chooseSoleInterface();

  TStationServices m_services;
  IStationWindow& m_window;
  TPaths m_paths;
  // The temporary folder as start-up found it; a refused fallback is told once.
  TTempFolder m_tempFolder;
  bool m_terminationRequested = false;

  std::unique_ptr<QTimer> m_discoveryTimer;
  std::unique_ptr<QTimer> m_watchdogTimer;
  std::unique_ptr<QTimer> m_recordingClockTimer;
  std::unique_ptr<QTimer> m_listenCooldownTimer;

  TNetworkState m_network;
  std::unique_ptr<TVideoDisplay> m_display;
  std::unique_ptr<TStreamController> m_streams;
  std::unique_ptr<TWaitList> m_waitList;
  std::unique_ptr<TCallAdmission> m_admission;
  std::unique_ptr<TOutgoingClient> m_outgoingClient;
  std::unique_ptr<TDiscovery> m_discovery;
  std::unique_ptr<TNotificationListener> m_listener;
  // The visitor journal; the door and the voice message go to the call watched when asked.
  std::unique_ptr<TJournal> m_journal;
  std::unique_ptr<TCallJournal> m_calls;
  QTimer m_journalRetentionTimer;
  bool m_journalProblemReported = false;
  std::optional<TJournal::TToken> m_relayCall;
  std::optional<TJournal::TToken> m_voiceCall;
  // API requests run one after the other on the worker's thread; the relay's outcome stays on
  // the button for a while.
  std::unique_ptr<TApiWorker> m_apiWorker;
  std::unique_ptr<TRelayCommand> m_relay;
  QTimer m_relayOutcomeTimer;
  // Sees what the voice message shows, to know when one was sent.
  class TVoiceViewTap final : public IVoiceMessageView {
   public:
    TVoiceViewTap(IVoiceMessageView& inner, TStation& station)
        : m_inner(inner), m_station(station) {}
    void showVoiceMessage(const TVoiceMessageLook& look) override;

   private:
    IVoiceMessageView& m_inner;
    TStation& m_station;
  };
  TVoiceViewTap m_voiceViewTap{static_cast<IVoiceMessageView&>(m_window), *this};
  std::unique_ptr<TVoiceMessage> m_voice;
  // The texts over the video follow the stream whatever the four timers do.
  QTimer m_statusTimer;
  bool m_statisticsShown = false;
  std::string m_shownStatus, m_shownStatistics, m_shownTitle;
  EOverlayState m_loggedState = EOverlayState::Idle;
  // Live sound: the player's events reach the receiver, which drives the window's controls.
  TWindowAudioControls m_audioControls{m_window};
  std::unique_ptr<TLiveAudioOutput> m_liveOutput;
  std::unique_ptr<TAudioReceiver> m_audio;
  // Visitors not missed: the ring plays on the live sound's output, so it goes before it.
  TNullDesktopNotifier m_noNotifier;
  TNullScreenSaver m_noScreenSaver;
  ITrayView* m_trayView = nullptr;
  std::unique_ptr<TCallAlerts> m_alerts;
  std::function<void()> m_journalOpener;
};
