// The station: start-up in its fixed order, the commands, the timers and shutdown.
#include "app/Station.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/StartupChoices.h"
#include "base/Text.h"
#include "base/Vigenere.h"
#include "core/SettingsEdits.h"
#include "core/SettingsStore.h"
#include "core/UiTexts.h"
#include "core/Version.h"
#include "net/InterfaceCheck.h"
#include "net/NetworkWait.h"
#include "platform/NullWaveOut.h"
#include "platform/PrivateFolder.h"
#include "platform/SessionEnd.h"
#include "platform/Tls.h"

// Resources compiled into a static library must be registered by hand.
static void initResources() { Q_INIT_RESOURCE(resources); }

namespace {

IVideoWindow::TBytes loadResource(const QString& name) {
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QByteArray bytes = file.readAll();
  return std::make_shared<const std::vector<unsigned char>>(bytes.begin(), bytes.end());
}

// Why the fallback temporary folder was refused, in the user's words.
std::string tempRefusalReason(const TTempFolder& temp, bool french) {
  switch (temp.refusal) {
    case ETempRefusal::CannotCreate:
      return (french ? "impossible de le cr\xE9"
                       "er : "
                     : "it cannot be created: ") +
             std::string(std::strerror(temp.error));
    case ETempRefusal::SymbolicLink:
      return french ? "c'est un lien symbolique" : "it is a symbolic link";
    case ETempRefusal::NotAFolder:
      return french ? "ce n'est pas un dossier" : "it is not a folder";
    case ETempRefusal::OtherOwner:
      return french ? "il appartient \xE0 un autre utilisateur" : "it belongs to another user";
    case ETempRefusal::OpenToOthers:
      return french ? "d'autres utilisateurs y ont acc\xE8s" : "other users can access it";
    case ETempRefusal::None:
      break;
  }
  return {};
}

std::string tempRefusalText(const TTempFolder& temp, bool french) {
  const std::string why = " (" + tempRefusalReason(temp, french) + ").";
  if (french)
    return "Attention, le dossier temporaire " + temp.refusedFolder + " est refus\xE9" + why +
           " Ni journal de d\xE9"
           "bogage ni instantan\xE9 ne seront \xE9"
           "crits pendant cette "
           "session. Indiquez un dossier \xE0 vous dans la variable TMP ou TMPDIR.";
  return "Warning, the temporary folder " + temp.refusedFolder + " is refused" + why +
         " No debug log and no snapshot will be written during this run. Set TMP or TMPDIR to a "
         "folder of your own.";
}

}  // namespace

TStation::TStation(TStationServices services, IStationWindow& window)
    : m_services(std::move(services)),
      m_window(window),
      m_paths(m_services.env, m_services.sharedTemp) {
  initResources();
  if (m_services.sessionEnd != nullptr)
    connect(m_services.sessionEnd, &TSessionEndWatcher::endRequested, this,
            &TStation::onSessionEnding);
}

// No API request may still run or answer, and no tick reach a part that is going; the parts
// then go in the reverse of their declaration, the listener first and the display last.
TStation::~TStation() {
  if (m_apiWorker) m_apiWorker->shutdown();
  m_alerts.reset();
  m_journalRetentionTimer.stop();
  if (m_streams) m_streams->setOnFrame(nullptr);
  // The socket first, then the player, which waits until its device has closed.
  if (m_audio) m_audio->closeForExit();
  m_liveOutput.reset();
  m_audio.reset();
  m_relayOutcomeTimer.stop();
  m_statusTimer.stop();
  releaseTimers();
  if (m_streams) m_streams->setStreamRequests(nullptr);
}

void TStation::runStartUp() {
  TAppSettings& settings = m_services.settings;
  // 1. The bottom bar is laid out by the window; 2. every counter starts at 0 with the object
  // that owns it.
  // 3. Empty the log file. Without a temporary folder there is no log file to tell it in.
  m_services.log.emptyFile();
  m_tempFolder = m_paths.chooseTempFolder();
  if (m_tempFolder.refusal != ETempRefusal::None)
    std::fprintf(stderr, "ostrel-stream: %s\n", tempRefusalText(m_tempFolder, false).c_str());
  // 4. The window has its fixed size. 5-7.
  makePrivateFolder(m_paths);
  sslAvailable = detectTlsAvailable();
  // 8.
  m_window.setControlVisible(EVideoControl::PanelCaption, false);
  createVideoStep();
  m_services.log.begin();
  m_network = TNetworkState{};
  loadCipherTable();
  // 9-10.
  debugLog("Version " + FileVersionText());
  m_streams->clearStreamWanted();
  // 11-12. Host address check.
  makeTimers();
  m_discovery = std::make_unique<TDiscovery>(settings, m_network, static_cast<ILedView&>(m_window));
  if (m_services.startedByAutostart) waitForNetwork();
  if (m_terminationRequested) return;
  if (!hostAddressCheck(m_services.net, m_network, m_services.dialogs,
                        [this] { releaseTimers(); })) {
    requestTermination();
    createAudioClientStep();
    return;
  }
  connect(m_discoveryTimer.get(), &QTimer::timeout, this,
          [this] { m_discovery->onDiscoveryTick(); });
  connect(m_watchdogTimer.get(), &QTimer::timeout, this, &TStation::onWatchdogTick);
  connect(m_recordingClockTimer.get(), &QTimer::timeout, this, &TStation::onRecordingClockTick);
  m_discoveryTimer->start();
  m_watchdogTimer->start();
  // 13.
  runInterfaceInventory(m_services.net, m_network);
  // 14. Detected panels, the pending command and the start switches start empty.
  m_discovery->SniffedIPs().clear();
  settings.autoSnap = settings.autoFullScreen = settings.startMinimized = settings.autoFocus = 0;
  // 15. The listener.
  if (!openListenerStep()) return;
  // 16. The idle picture was chosen with the display; 17.
  m_window.setControlEnabled(EVideoControl::StopButton, false);
  m_window.setControlEnabled(EVideoControl::SnapshotButton, false);
  // 18-19.
  loadSettingsStep();
  applyJournalRetention();
  m_journalRetentionTimer.start();
  if (settings.startMinimized == 1) m_window.minimise();
  // 20-21.
  m_window.applyBorderIcons(settings.SysButtons != 0, settings.ONTop != 0);
  setLanguage(settings.language);
  m_window.applyTexts();
  // 22-23. A first start on a host with one interface needs no question.
  if (settings.interfaceSelected.empty()) chooseSoleInterface();
  const EInterfaceCheck checked = interfaceCheck(settings.interfaceSelected, m_network,
                                                 m_services.dialogs, [this] { releaseTimers(); });
  // The user was just told to choose one: the list is where to do it.
  if (checked == EInterfaceCheck::MultipleInterfaces)
    QMetaObject::invokeMethod(
        this, [this] { m_window.openInterfaceSettings(); }, Qt::QueuedConnection);
  m_discovery->BCast();
  // 24-25.
  topmostAndHttpsStep();
  tempFolderWarningStep();
  createAudioClientStep();
}

void TStation::waitForNetwork() {
  TNetworkWait wait(m_services.net, m_services.clock);
  if (wait.poll() == TNetworkWait::EState::Ready) return;
  debugLog("Waiting for the network...");
  m_window.showNetworkWait(true);
  QTimer poll;
  poll.setInterval(NetworkPollMs);
  TNetworkWait::EState state = TNetworkWait::EState::Waiting;
  connect(&poll, &QTimer::timeout, this, [&] { state = wait.poll(); });
  poll.start();
  // Events go on meanwhile, so the end of the session ends the wait too. Not a nested
  // QEventLoop: one asked to end before the main loop has run would return at once.
  while (state == TNetworkWait::EState::Waiting && !m_terminationRequested)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  poll.stop();
  m_window.showNetworkWait(false);
  if (state == TNetworkWait::EState::Ready)
    debugLog("Network up: " + wait.hostIP());
  else if (!m_terminationRequested)
    debugLog("**** No network after " + std::to_string(TNetworkWait::Limit.count()) + " s");
}

void TStation::chooseSoleInterface() {
  const std::optional<std::string> sole = soleInterface(m_network);
  if (!sole) return;
  m_services.settings.interfaceSelected = *sole;
  debugLog("Network interface chosen, the only one on this host: " + *sole);
  TSettingsStore(m_paths.settingsFile(), m_services.settings, sslAvailable)
      .saveInterfaceSelected(*sole);
}

void TStation::makeTimers() {
  m_discoveryTimer = std::make_unique<QTimer>();
  m_discoveryTimer->setInterval(DiscoveryPeriodMs);
  m_watchdogTimer = std::make_unique<QTimer>();
  m_watchdogTimer->setInterval(WatchdogPeriodMs);
  m_recordingClockTimer = std::make_unique<QTimer>();
  m_recordingClockTimer->setInterval(RecordingClockPeriodMs);
  m_listenCooldownTimer = std::make_unique<QTimer>();
  m_listenCooldownTimer->setInterval(ListenCooldownPeriodMs);
  m_listenCooldownTimer->start();
}

// The video parts and the roads into a stream: the decoder comes with its controller.
void TStation::createVideoStep() {
  m_display = std::make_unique<TVideoDisplay>(
      static_cast<IVideoWindow&>(m_window), m_services.settings, m_services.clock, m_services.env,
      loadResource(":/idle-standard.jpg"), loadResource(":/idle-festive.jpg"));
  m_streams = std::make_unique<TStreamController>(static_cast<IVideoWindow&>(m_window), *m_display,
                                                  m_services.dialogs, m_services.settings,
                                                  m_services.clock);
  m_waitList = std::make_unique<TWaitList>(*m_streams);
  m_admission = std::make_unique<TCallAdmission>(m_services.settings, *m_streams, *m_waitList);
  m_outgoingClient =
      std::make_unique<TOutgoingClient>(*m_streams, [this] { return m_network.HostIP; });
  m_outgoingClient->setRemotePort(m_services.panelSignalPort);
  m_streams->setStreamRequests(m_outgoingClient.get());
  m_outgoingClient->setOnFailure([this](bool unreachable) {
    m_streams->overlay().requestFailed(unreachable ? ERequestFailure::Unreachable
                                                   : ERequestFailure::Refused);
    onStatusTick();
  });
  createJournalStep();
  m_display->setOnSnapshotSaved(
      [this](const std::string& path) { m_window.showSnapshotSaved(path); });
  m_statusTimer.setInterval(StatusPeriodMs);
  connect(&m_statusTimer, &QTimer::timeout, this, &TStation::onStatusTick);
  m_statusTimer.start();
  createApiStep();
}

void TStation::createApiStep() {
  m_apiWorker = std::make_unique<TApiWorker>();
  m_relay = std::make_unique<TRelayCommand>(*m_apiWorker, m_services.dialogs);
  m_relay->setOnOutcome([this](const TRelayOutcome& outcome) {
    if (outcome.state != ERelayState::Busy && m_relayCall && m_calls) {
      m_calls->doorCommand(*m_relayCall, outcome.state == ERelayState::Success,
                           cp1252ToUtf8(outcome.detail));
      m_relayCall.reset();
    }
    showRelayOutcome(outcome);
  });
  m_voice = std::make_unique<TVoiceMessage>(
      *m_apiWorker, m_services.dialogs, m_services.clock, m_voiceViewTap,
      m_services.recorders != nullptr ? m_services.recorders->create() : nullptr,
      [this] { return m_paths.tempFolder(); });
  m_relayOutcomeTimer.setSingleShot(true);
  m_relayOutcomeTimer.setInterval(kRelayOutcomeShownMs);
  connect(&m_relayOutcomeTimer, &QTimer::timeout, this, [this] {
    m_window.showRelayOutcome(std::nullopt);
    if (m_alerts) m_alerts->showRelayOutcome(std::nullopt);
  });
}

void TStation::showRelayOutcome(const TRelayOutcome& outcome) {
  m_relayOutcomeTimer.stop();
  m_window.showRelayOutcome(outcome);
  if (m_alerts) m_alerts->showRelayOutcome(outcome);
  if (outcome.state != ERelayState::Busy) m_relayOutcomeTimer.start();
}

void TStation::onRelayClicked() {
  m_relayCall = m_calls ? m_calls->watchedCall() : std::nullopt;
  m_relay->click(m_services.settings, sslAvailable, m_streams->StreamWanted(),
                 m_streams->target().Address, UiTexts);
}

TVoiceContext TStation::voiceContext() const {
  return {m_services.settings, sslAvailable, m_streams->StreamWanted(), m_streams->target().Address,
          UiTexts};
}

void TStation::onVoiceMessageClicked() {
  m_voice->click(voiceContext());
  followRecording();
}

void TStation::onRecordingClockTick() {
  m_voice->tick(voiceContext());
  followRecording();
}

// The clock runs only while a recording does.
void TStation::followRecording() {
  if (!m_recordingClockTimer) return;
  if (m_voice->recording() && !m_recordingClockTimer->isActive())
    m_recordingClockTimer->start();
  else if (!m_voice->recording())
    m_recordingClockTimer->stop();
}

bool TStation::openListenerStep() {
  m_listener = std::make_unique<TNotificationListener>(static_cast<IListenerHost&>(*this),
                                                       m_services.settings);
  if (m_listener->activate(m_services.listenerPort)) {
    debugLog("Socket active port 2201");
    return true;
  }
  m_listener.reset();
  releaseTimer(m_discoveryTimer);
  releaseTimer(m_watchdogTimer);
  m_services.dialogs.message("Ostrel Stream: Socket en cours d'utilisation.", EDialogIcon::Error);
  debugLog("Socket failed port 2201");
  requestTermination();
  return false;
}

void TStation::loadSettingsStep() {
  TSettingsStore(m_paths.settingsFile(), m_services.settings, sslAvailable).loadSettings();
}

void TStation::topmostAndHttpsStep() {
  m_display->applyOnTopSetting();
  if (!sslAvailable) {
    debugLog("HTTPS connection won't be available on this machine.");
    m_services.dialogs.message(UiTexts.msgNoHttps, EDialogIcon::Warning);
  }
}

// Shown once with the other start-up warnings, in the language just chosen.
void TStation::tempFolderWarningStep() {
  if (m_tempFolder.refusal == ETempRefusal::None) return;
  debugLog("**** " + tempRefusalText(m_tempFolder, false));
  m_services.dialogs.message(tempRefusalText(m_tempFolder, m_services.settings.language == "FR"),
                             EDialogIcon::Warning);
}

// The live sound: its player on the chosen output (nothing playable when there is none), the
// receiver that feeds it, and the listen button's cooldown.
void TStation::createAudioClientStep() {
  std::unique_ptr<IWaveOutSystem> system;
  if (m_services.waveOutBackends != nullptr)
    system = m_services.waveOutBackends->create(m_services.waveOutBackend);
  if (!system) {
    auto none = std::make_unique<TNullWaveOutSystem>();
    none->setDeviceCount(0);
    system = std::move(none);
  }
  m_liveOutput = std::make_unique<TLiveAudioOutput>(std::move(system), m_services.dialogs);
  m_liveOutput->setVolume(m_services.settings.liveVolume, m_services.settings.liveMute);
  m_audio = std::make_unique<TAudioReceiver>(
      *m_liveOutput, m_audioControls, m_services.dialogs, m_services.settings,
      [this] { return m_display->FullScreenActive(); }, m_services.panelAudioPort);
  m_liveOutput->attach(m_audio.get());
  if (m_listenCooldownTimer)
    connect(m_listenCooldownTimer.get(), &QTimer::timeout, this,
            [this] { m_audio->onListenCooldownTick(); });
  createCallAlertsStep();
}

// The ring plays on the live sound's output, through a player of its own.
void TStation::createCallAlertsStep() {
  IDesktopNotifier& notifier = m_services.notifier != nullptr ? *m_services.notifier : m_noNotifier;
  IScreenSaver& screenSaver =
      m_services.screenSaver != nullptr ? *m_services.screenSaver : m_noScreenSaver;
  m_alerts = std::make_unique<TCallAlerts>(
      m_services.settings, static_cast<ICallAlertsHost&>(*this), notifier, screenSaver,
      std::make_unique<TRing>(m_liveOutput->system()));
  m_alerts->onShowRequested = [this] { m_window.bringUp(); };
  m_alerts->onOpenDoorRequested = [this] { onRelayClicked(); };
  m_alerts->setTrayView(m_trayView);
}

void TStation::setTrayView(ITrayView* view) {
  m_trayView = view;
  if (m_alerts) m_alerts->setTrayView(view);
}

bool TStation::closesToTray() const {
  return m_trayView != nullptr && m_services.settings.closeToTray;
}

void TStation::onJournalTriggered() {
  if (m_journalOpener) m_journalOpener();
}

void TStation::journalOpened() {
  if (m_alerts) m_alerts->journalOpened();
}

std::string TStation::watchedPanel() const {
  return m_streams->StreamWanted() ? m_streams->target().Address : std::string();
}

IVideoWindow::TBytes TStation::shownPicture() const { return m_display->picture(); }

bool TStation::panelDetected() const {
  return m_discovery && !m_discovery->SniffedIPs().items().empty();
}

bool TStation::liveAudioPlaying() const { return m_liveOutput && m_liveOutput->active(); }

void TStation::onListenClicked() {
  if (!m_audio) return;
  if (!m_liveOutput->hasOutputDevice()) {
    debugLog("No sound output device, live audio unavailable");
    m_services.dialogs.message(waveOutErrorText(kWaveErrNoDevice), EDialogIcon::Error,
                               EDialogButtons::Ok);
    return;
  }
  m_audio->onListenClicked();
}

void TStation::onStopListeningClicked() {
  if (m_audio) m_audio->onStopListeningClicked();
}

void TStation::onFullScreenChanged() {
  if (m_audio) m_audio->onFullScreenChanged();
}

void TStation::setLiveVolume(int percent, bool muted) {
  TAppSettings& settings = m_services.settings;
  settings.liveVolume = std::clamp(percent, 0, TLiveAudioOutput::MaxVolume);
  settings.liveMute = muted;
  if (m_liveOutput) m_liveOutput->setVolume(settings.liveVolume, settings.liveMute);
  TSettingsStore(m_paths.settingsFile(), settings, sslAvailable).saveLiveVolume(settings);
}

bool TStation::audioConnected() const { return m_audio && m_audio->connected(); }

void TStation::releaseTimer(std::unique_ptr<QTimer>& timer) {
  if (timer) timer->stop();
  timer.reset();
}

void TStation::releaseTimers() {
  releaseTimer(m_discoveryTimer);
  releaseTimer(m_watchdogTimer);
  releaseTimer(m_recordingClockTimer);
  releaseTimer(m_listenCooldownTimer);
}

void TStation::requestTermination() {
  m_terminationRequested = true;
  // Ends the main loop and any modal box's nested loop; before the main loop has started the
  // flag above tells the program entry not to enter it.
  QCoreApplication::exit(0);
}

void TStation::onWatchdogTick() {
  // A message box of start-up can run this before the live sound exists.
  if (m_audio) m_audio->onWatchdogTick();
  m_discovery->ledStep();
  m_streams->watchdogStep();
  m_display->idleStep(m_streams->StreamWanted());
}

void TStation::onStatusTick() {
  if (m_alerts) m_alerts->update();
  followCalls();
  TStreamOverlay& overlay = m_streams->overlay();
  overlay.sampleFramesShown(m_window.framesShown());
  // What the picture says, in the log's language, once per change.
  if (const EOverlayState state = overlay.state(); state != m_loggedState) {
    static const char* const names[] = {"idle",    "connecting", "live",
                                        "refused", "video lost", "request failed"};
    m_loggedState = state;
    debugLog(std::string("Picture: ") + names[static_cast<int>(state)]);
  }
  std::string status = overlay.statusText();
  std::string statistics = m_statisticsShown ? overlay.statisticsText() : std::string();
  if (status != m_shownStatus || statistics != m_shownStatistics) {
    m_shownStatus = std::move(status);
    m_shownStatistics = std::move(statistics);
    m_window.showStreamStatus(m_shownStatus, m_shownStatistics);
  }
  std::string title = "Ostrel Stream";
  if (m_streams->StreamWanted() && !m_streams->target().DisplayName.empty())
    title += " - " + m_streams->target().DisplayName;
  if (title != m_shownTitle) {
    m_shownTitle = std::move(title);
    m_window.setTitle(m_shownTitle);
  }
}

void TStation::setStatisticsShown(bool shown) {
  m_statisticsShown = shown;
  onStatusTick();
}

void TStation::onQuitTriggered() {
  m_streams->clearStreamWanted();
  if (m_listener) m_listener->deactivate();
  requestTermination();
  m_window.setControlEnabled(EVideoControl::StopButton, false);
  m_window.setControlEnabled(EVideoControl::SnapshotButton, false);
}

void TStation::onDebugTriggered() {
  bool on = !m_services.log.display();
  m_services.log.setDisplay(on);
  if (on) debugLog("Debug displayed");
}

void TStation::onSessionEnding() { requestTermination(); }

void TStation::onCloseRequested() {
  if (m_audio) m_audio->closeForExit();
  m_streams->clearStreamWanted();
  if (m_listener) m_listener->deactivate();
  m_listener.reset();
  m_streams->setStreamRequests(nullptr);
  m_outgoingClient.reset();
  m_window.setControlEnabled(EVideoControl::StopButton, false);
  m_window.setControlEnabled(EVideoControl::SnapshotButton, false);
  requestTermination();
}

void TStation::onFavouriteClicked() { m_streams->onFavouriteClicked(); }

void TStation::onStopClicked() {
  m_streams->onStopClicked();
  followCalls();
}

void TStation::onSnapshotClicked() { m_display->onSnapshotClicked(); }

void TStation::onManualStreamTriggered() { m_streams->onManualStreamTriggered(); }

void TStation::toggleFullScreen() { m_display->toggleFullScreen(); }

void TStation::toggleAlwaysOnTop() { m_display->toggleAlwaysOnTop(); }

bool TStation::handleKey(int key) { return m_display->handleKey(key); }

void TStation::BCast() { m_discovery->BCast(); }

void TStation::streamWItem(int index) {
  m_waitList->streamWItem(index);
  followCalls();
}

void TStation::launchStream() { m_streams->launchStream(); }

void TStation::stopStream() { m_streams->stopStream(); }

bool TStation::StreamWanted() const { return m_streams->StreamWanted(); }

const std::vector<std::string>& TStation::SniffedIPs() const {
  return m_discovery->SniffedIPs().items();
}

std::vector<std::string> TStation::interfaceChoices() const {
  return ::interfaceChoices(m_services.net.readTable());
}

// Streams cannot start again before the next Apply: no interface is chosen any more.
void TStation::refreshInterfaces() {
  m_network.InterfaceAddresses.clear();
  m_network.BroadcastAddresses.clear();
  m_services.settings.interfaceSelected.clear();
  m_network.HostIP = getHostIP(m_services.net);
}

void TStation::applyBorderIcons() {
  m_window.applyBorderIcons(m_services.settings.SysButtons, m_services.settings.ONTop);
}

void TStation::applyTopmost() { m_display->applyOnTopSetting(); }

void TStation::applyMainWindowTexts() {
  m_window.applyTexts();
  if (m_alerts) m_alerts->applyTexts();
}

// The listener goes first: a new copy that found port 2201 taken would take itself for a
// second copy and end.
void TStation::restartProgram() {
  m_streams->clearStreamWanted();
  if (m_listener) m_listener->deactivate();
  m_listener.reset();
  const QString program = QCoreApplication::applicationFilePath();
  debugLog("Restarting " + program.toStdString());
  // The new copy waits for this one to end instead of taking it for a second copy.
  if (!QProcess::startDetached(program, {RestartedArgument}))
    debugLog("**** Restart failed: " + program.toStdString() + " could not be started");
  requestTermination();
}

namespace {
std::optional<EJournalOutcome> journalOutcome(EAdmission admission) {
  switch (admission) {
    case EAdmission::Ignored:
      return std::nullopt;
    case EAdmission::RejectedCalled:
      return EJournalOutcome::RejectedCalled;
    case EAdmission::RejectedCalling:
      return EJournalOutcome::RejectedCalling;
    case EAdmission::Waited:
      return EJournalOutcome::Waited;
    case EAdmission::DroppedWaitOff:
      return EJournalOutcome::DroppedWaitOff;
    case EAdmission::DroppedWaitFull:
      return EJournalOutcome::DroppedWaitFull;
    case EAdmission::Shown:
      return EJournalOutcome::Shown;
    case EAdmission::NotStarted:
      return EJournalOutcome::NotStarted;
  }
  return std::nullopt;
}
}  // namespace

void TStation::admitCall(const std::vector<std::string>& fields, const std::string& panelAddress) {
  const EAdmission admitted = m_admission->admitCall(fields, panelAddress);
  if (m_alerts && admitted == EAdmission::Shown)
    m_alerts->callAdmitted(panelAddress, m_streams->target().DisplayName, ECallAdmitted::Shown);
  else if (m_alerts && admitted == EAdmission::Waited)
    m_alerts->callAdmitted(panelAddress, fields.size() > 5 ? fields[5] : std::string(),
                           ECallAdmitted::Waited);
  const std::optional<EJournalOutcome> outcome = journalOutcome(admitted);
  if (!outcome || !m_calls) return;
  auto field = [&](std::size_t i) { return i < fields.size() ? cp1252ToUtf8(fields[i]) : ""; };
  m_calls->callArrived(panelAddress, field(5), field(4), *outcome);
  followCalls();
}

void TStation::followCalls() {
  if (m_calls && m_streams)
    m_calls->followStream(m_streams->StreamWanted(), m_streams->target().Address);
}

void TStation::createJournalStep() {
  m_journal = std::make_unique<TJournal>(m_paths.journalFile());
  m_calls = std::make_unique<TCallJournal>(*m_journal, m_services.clock);
  m_journal->open([this](EJournalOpen result, const std::string& detail) {
    if (result == EJournalOpen::Recovered) {
      debugLog("**** Journal damaged, moved aside: " + utf8ToCp1252(detail));
      reportJournalProblem(UiTexts.msgJournalRecovered + " " + utf8ToCp1252(detail));
    } else if (result == EJournalOpen::Failed) {
      debugLog("**** Journal unavailable: " + utf8ToCp1252(detail));
      reportJournalProblem(UiTexts.msgJournalUnavailable);
    }
  });
  m_journal->setOnWriteFailed([this](const std::string& detail) {
    debugLog("**** Journal not written: " + utf8ToCp1252(detail));
    reportJournalProblem(UiTexts.msgJournalUnavailable);
  });
  m_streams->setOnFrame([this](const std::string& address, const TJPEGImage::TBytes& jpeg) {
    m_calls->frameShown(address, jpeg);
  });
  m_journalRetentionTimer.setInterval(JournalRetentionPeriodMs);
  connect(&m_journalRetentionTimer, &QTimer::timeout, this, &TStation::applyJournalRetention);
}

void TStation::reportJournalProblem(const std::string& text) {
  if (m_journalProblemReported) return;
  m_journalProblemReported = true;
  QMetaObject::invokeMethod(
      this, [this, text] { m_services.dialogs.message(text, EDialogIcon::Warning); },
      Qt::QueuedConnection);
}

void TStation::applyJournalRetention() {
  if (!m_journal) return;
  const TAppSettings& s = m_services.settings;
  m_journal->applyRetention(
      QDateTime::currentMSecsSinceEpoch(), s.journalDays,
      std::int64_t{s.journalMaxMB} * 1024 * 1024, [](const TJournalRetention& removed) {
        if (removed.rowsRemoved > 0 || removed.picturesRemoved > 0)
          debugLog("Journal: " + std::to_string(removed.rowsRemoved) + " calls and " +
                   std::to_string(removed.picturesRemoved) + " pictures removed");
      });
}

void TStation::TVoiceViewTap::showVoiceMessage(const TVoiceMessageLook& look) {
  TStation& s = m_station;
  if (look.state == EVoiceState::Uploading && s.m_calls) s.m_voiceCall = s.m_calls->watchedCall();
  if (look.state == EVoiceState::Success && s.m_voiceCall && s.m_calls) {
    s.m_calls->voiceMessageSent(*s.m_voiceCall);
    s.m_voiceCall.reset();
  }
  m_inner.showVoiceMessage(look);
}

void TStation::minimizeMainWindow() { m_window.minimise(); }

std::string TStation::decoderAddress() const { return m_streams->target().Address; }

std::string TStation::hostIP() const { return m_network.HostIP; }

void TStation::addSniffedIP(const std::string& address) { m_discovery->SniffedIPs().add(address); }

void TStation::callEnded(const std::string& address, bool wasWatched) {
  m_waitList->callEnded(address, wasWatched, m_services.settings.showNextWaiting == 1);
  if (m_alerts) m_alerts->callEnded(address);
  followCalls();
}
