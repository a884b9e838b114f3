// Opening the settings window, from the user's Ctrl+O to the window painted.
//
// Run:  bench/settings-open.sh
//
// A window with the main window's Tools menu and its Ctrl+O item, connected as the main window
// connects it (the item calls TSettingsWindow::open), over the real settings window, store and
// autostart in a home folder of the bench's own, under the offscreen platform. One iteration:
// the key goes through Qt's shortcut map to the item, the window is filled from the settings
// record and shown, and the loop runs until its first paint is done. Manual time, milliseconds.
//   FirstOpening: a fresh settings window each time (built outside the timing), as at the
//     user's first Ctrl+O after start-up.
//   Reopening: the same window opened again after a Cancel.
// Goal: under 100 ms.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <stdexcept>

#include "base/Vigenere.h"
#include "core/AppSettings.h"
#include "core/Autostart.h"
#include "core/SettingsHost.h"
#include "core/SettingsStore.h"
#include "core/UiTexts.h"
#include "platform/Env.h"
#include "platform/Paths.h"
#include "ui/SettingsWindow.h"

namespace {

// The station as the settings window sees it, without any network.
class TQuietHost final : public ISettingsHost {
 public:
  void BCast() override {}
  const std::vector<std::string>& SniffedIPs() const override { return m_sniffed; }
  std::vector<std::string> interfaceChoices() const override { return {"192.168.1.10"}; }
  void refreshInterfaces() override {}
  void applyBorderIcons() override {}
  void applyTopmost() override {}
  void applyMainWindowTexts() override {}
  void restartProgram() override {}

 private:
  std::vector<std::string> m_sniffed{"192.168.1.20", "192.168.1.21"};
};

// No box is expected while opening; any that came would be answered at once.
class TAnsweringDialogs final : public IDialogs {
 public:
  EDialogResult message(const std::string&, EDialogIcon, EDialogButtons buttons) override {
    return buttons == EDialogButtons::Ok ? EDialogResult::Ok : EDialogResult::No;
  }
  std::optional<std::string> inputBox(const std::string&, const std::string&,
                                      const std::string&) override {
    return std::nullopt;
  }
};

class TPaintWatch : public QObject {
 public:
  bool painted = false;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return false;
  }
};

// A home folder of the bench's own, in the environment before anything reads it.
struct THome {
  THome() {
    qputenv("HOME", dir.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
  }
  QTemporaryDir dir;
};

// Everything the settings window is built on, with settings like a configured user's.
struct TBench {
  TBench() {
    loadCipherTable();
    settings.platines = "192.168.1.20;192.168.1.21;192.168.1.22";
    settings.priority = 1;
    settings.priocheck = 1;
    settings.SIPID = "1001@sip.example.net";
    settings.CallingList = "200@sip.example.net;201@sip.example.net";
    settings.interfaceSelected = "192.168.1.10";
    settings.APIAuthtype = "Digest";
    settings.APIMethod = "GET";
    settings.language = "EN";
    setLanguage("EN");

    auto* tools = host.menuBar()->addMenu("Tools");
    settingsAction = tools->addAction("Settings");
    settingsAction->setShortcut(QKeySequence("Ctrl+O"));
    QObject::connect(settingsAction, &QAction::triggered, [this] { window->open(); });
    host.resize(435, 380);
    host.show();
    makeWindow();
  }
  void makeWindow() {
    window = std::make_unique<TSettingsWindow>(settings, store, autostart, quietHost, dialogs);
    window->installEventFilter(&watch);
  }
  // Ctrl+O to the end of the first paint, in seconds.
  double open() {
    host.activateWindow();
    if (!QTest::qWaitForWindowActive(&host))
      throw std::runtime_error("the window with the menu never became active");
    watch.painted = false;
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(&host, Qt::Key_O, Qt::ControlModifier);
    while (!watch.painted) QApplication::processEvents(QEventLoop::AllEvents);
    const double seconds = clock.nsecsElapsed() / 1e9;
    window->hide();
    QApplication::processEvents();
    return seconds;
  }

  THome home;
  TSystemEnv env;
  TPaths paths{env};
  TAppSettings settings;
  bool ssl = true;
  TSettingsStore store{home.dir.path().toStdString() + "/config/Halvex/HalvexStream.reg", settings,
                       ssl};
  TAnsweringDialogs dialogs;
  TAutostart autostart{paths, dialogs, "/bin/true"};
  TQuietHost quietHost;
  TPaintWatch watch;
  QMainWindow host;
  QAction* settingsAction = nullptr;
  std::unique_ptr<TSettingsWindow> window;
};

void FirstOpening(benchmark::State& state, TBench& bench) {
  for (auto _ : state) {
    state.PauseTiming();
    bench.makeWindow();
    state.ResumeTiming();
    state.SetIterationTime(bench.open());
  }
}

void Reopening(benchmark::State& state, TBench& bench) {
  bench.open();
  for (auto _ : state) state.SetIterationTime(bench.open());
}

}  // namespace

int main(int argc, char** argv) {
  // Painting is measured without a display server unless one is asked for.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  {
    // Made after the application object, and gone before it.
    TBench bench;
    benchmark::RegisterBenchmark("FirstOpening", FirstOpening, std::ref(bench))
        ->UseManualTime()
        ->Iterations(30)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Reopening", Reopening, std::ref(bench))
        ->UseManualTime()
        ->Iterations(50)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
  }
  benchmark::Shutdown();
  return 0;
}
