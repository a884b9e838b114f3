// Program entry: the application object, the station and the six windows in their order, the
// event loop.
#include <cstdio>

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/EventErrors.h"
#include "app/MainWindow.h"
#include "app/SingleInstance.h"
#include "app/StartupChoices.h"
#include "app/Station.h"
#include "core/Autostart.h"
#include "core/SettingsStore.h"
#include "platform/QtRecorder.h"
#include "platform/SessionEnd.h"
#include "platform/WaveOutDevice.h"
#include "platform/dbus/DbusNotifier.h"
#include "platform/dbus/DbusScreenSaver.h"
#include "ui/AboutWindow.h"
#include "ui/DebugWindow.h"
#include "ui/NoticesWindow.h"
#include "ui/QtDialogs.h"
#include "ui/SettingsWindow.h"
#include "ui/TrayIconWidget.h"
#include "ui/WaitListWindow.h"

int main(int argc, char** argv) {
  if (auto answer = answerCommandLine(std::vector<std::string>(argv, argv + argc))) {
    std::fputs(answer->text.c_str(), stdout);
    return answer->exitStatus;
  }
  const TStartupChoices choices =
      readStartupChoices(std::vector<std::string>(argv, argv + argc), TSystemEnv());
  applyQtPlatform(choices);
  TApplication app(argc, argv);
  QApplication::setApplicationName("Ostrel Stream");
  // The main window's close ends the program, whatever other window is still open.
  QApplication::setQuitOnLastWindowClosed(false);

  TSystemEnv env;
  TSystemClock clock;
  TPaths paths(env);
  TDebugLog log(clock, [&paths] { return paths.tempFolder(); });
  installDebugLog(&log);
  TQtDialogs dialogs;
  TEventErrors eventErrors(dialogs);
  app.setEventErrors(&eventErrors);
  TSessionEndWatcher sessionEnd;
  TSystemNetInterfaces net;
  TRecorderRegistry recorders;
  recorders.add(qtRecorderBackend());
  // A second copy brings the first one to the front and ends; a restarted copy lets the old
  // one end first.
  TSingleInstance singleCopy(TSingleInstance::socketPath(env, paths).value_or(""));
  if (singleCopy.claim(choices.restarted ? std::chrono::seconds(5) : std::chrono::seconds(0)) ==
      TSingleInstance::ERole::Secondary) {
    dialogs.message("Ostrel Stream: Socket en cours d'utilisation.", EDialogIcon::Error,
                    EDialogButtons::Ok);
    app.setEventErrors(nullptr);
    installDebugLog(nullptr);
    return 0;
  }
  TWaveOutBackends waveOutBackends;
  registerWaveOutBackends(waveOutBackends);
  // The desktop's notifications and screen saver on the session bus; without a bus they only
  // log that nothing was reached.
  TDbusNotifier notifier(QDBusConnection::sessionBus());
  TDbusScreenSaver screenSaver(QDBusConnection::sessionBus());

  int status = 0;
  {
    TMainWindow mainWindow;
    dialogs.setParent(&mainWindow);
    TStationServices services{
        log,        dialogs, env, clock, net, AppSettings, TNotificationListener::DefaultPort,
        &sessionEnd};
    services.recorders = &recorders;
    services.startedByAutostart = choices.autostart;
    services.waveOutBackends = &waveOutBackends;
    services.notifier = &notifier;
    services.screenSaver = &screenSaver;
    TStation station(services, mainWindow);
    // Without a tray (no StatusNotifier host nor XEmbed tray) nothing of it exists.
    std::unique_ptr<TTrayIcon> tray;
    if (QSystemTrayIcon::isSystemTrayAvailable()) tray = std::make_unique<TTrayIcon>(true);
    station.setTrayView(tray.get());
    QObject::connect(&singleCopy, &TSingleInstance::raiseRequested, &mainWindow,
                     &TMainWindow::bringToUser);
    mainWindow.attachStation(&station);
    station.setJournalOpener([&mainWindow] { mainWindow.onJournalTriggered(); });
    station.runStartUp();
    TAboutWindow aboutWindow;
    TSettingsStore settingsStore(paths.settingsFile(), AppSettings, sslAvailable);
    TAutostart autostart(paths, dialogs, QCoreApplication::applicationFilePath().toStdString());
    TSettingsWindow settingsWindow(AppSettings, settingsStore, autostart, station, dialogs);
    TDebugWindow debugWindow(log);
    TNoticesWindow noticesWindow;
    TWaitListWindow waitListWindow(station.waitList(), &mainWindow);
    mainWindow.attachDebugWindow(&debugWindow);
    mainWindow.attachWaitListWindow(&waitListWindow);
    mainWindow.attachSettingsWindow(&settingsWindow);
    mainWindow.attachAboutWindow(&aboutWindow);
    settingsWindow.setTrayAvailable(tray != nullptr);
    if (tray) {
      QObject::connect(tray.get(), &TTrayIcon::showHideRequested, &mainWindow, [&mainWindow] {
        if (mainWindow.onScreen())
          mainWindow.hide();
        else
          mainWindow.bringToUser();
      });
      QObject::connect(&tray->menu(), &QMenu::aboutToShow, tray.get(),
                       [&] { tray->setWindowShown(mainWindow.onScreen()); });
      QObject::connect(tray.get(), &TTrayIcon::watchFavouriteRequested, &station,
                       [&station] { station.onFavouriteClicked(); });
      QObject::connect(tray.get(), &TTrayIcon::openDoorRequested, &station,
                       [&station] { station.onRelayClicked(); });
      QObject::connect(tray.get(), &TTrayIcon::journalRequested, &station,
                       [&station] { station.onJournalTriggered(); });
      QObject::connect(tray.get(), &TTrayIcon::settingsRequested, &settingsWindow,
                       &TSettingsWindow::open);
      QObject::connect(tray.get(), &TTrayIcon::quitRequested, &station,
                       [&station] { station.onQuitTriggered(); });
    }
    QObject::connect(&aboutWindow, &TAboutWindow::noticesRequested, &noticesWindow,
                     &TNoticesWindow::open);
    log.setOnDisplayedEntry([&debugWindow] {
      QMetaObject::invokeMethod(&debugWindow, &TDebugWindow::refreshFromLog, Qt::QueuedConnection);
    });
    if (!station.terminationRequested()) {
      mainWindow.show();
      status = QApplication::exec();
    }
    log.setOnDisplayedEntry(nullptr);
    mainWindow.attachAboutWindow(nullptr);
    mainWindow.attachSettingsWindow(nullptr);
    mainWindow.attachWaitListWindow(nullptr);
    mainWindow.attachDebugWindow(nullptr);
    station.setTrayView(nullptr);
    station.setJournalOpener(nullptr);
  }
  app.setEventErrors(nullptr);
  installDebugLog(nullptr);
  return status;
}
