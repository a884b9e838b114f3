// The main window: its controls, start-up, commands and shutdown.
#include "TForm7.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QMenuBar>
#include <QScreen>

#include "core/AppSettings.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "core/UiTexts.h"
#include "core/Version.h"
#include "core/Vigenere.h"
#include "net/InterfaceCheck.h"
#include "platform/PrivateFolder.h"
#include "platform/SessionEnd.h"
#include "platform/Tls.h"
#include "ui/Icons.h"
#include "ui/TForm3.h"
#include "video/TForm5.h"

// Resources compiled into a static library must be registered by hand.
static void initResources() { Q_INIT_RESOURCE(resources); }

namespace {

TVideoView::TBytes loadResource(const QString& name) {
  QFile file(name);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QByteArray bytes = file.readAll();
  return std::make_shared<const std::vector<unsigned char>>(bytes.begin(), bytes.end());
}

QString ansi(const std::string& text) { return QString::fromStdString(cp1252ToUtf8(text)); }

QToolButton* makeButton(QWidget* parent, int left, EIcon icon, bool visible) {
  auto* button = new QToolButton(parent);
  button->setGeometry(left, 280, 24, 25);
  button->setAutoRaise(true);
  button->setIcon(QIcon(drawIcon(icon, 20, 20)));
  button->setIconSize(QSize(20, 20));
  button->setCursor(Qt::PointingHandCursor);
  button->setVisible(visible);
  return button;
}

}  // namespace

TForm7::TForm7(TForm7Services services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services)), m_paths(m_services.env) {
  initResources();
  setWindowTitle("Ostrel Stream");
  setFont(QFont("Tahoma", 8));
  buildMenus();
  buildClientArea();
  if (m_services.sessionEnd != nullptr)
    connect(m_services.sessionEnd, &TSessionEndWatcher::endRequested, this,
            &TForm7::WMQueryEndSession);
  FormCreate();
  connectCommands();
}

TForm7::~TForm7() { FormDestroy(); }

void TForm7::attachDebugWindow(TForm3* debugWindow) {
  m_debugWindow = debugWindow;
  if (m_debugWindow != nullptr) m_debugWindow->placeBeside(*this);
}

void TForm7::attachWaitListWindow(TForm5* waitListWindow) { m_waitListWindow = waitListWindow; }

QTimer* TForm7::timer(int number) const {
  switch (number) {
    case 1:
      return m_timer1.get();
    case 2:
      return m_timer2.get();
    case 3:
      return m_timer3.get();
    case 4:
      return m_timer4.get();
    default:
      return nullptr;
  }
}

void TForm7::buildMenus() {
  Fichier1 = menuBar()->addMenu("Fichier");
  Minimiser1 = Fichier1->addAction(menuIcon(EIcon::Minimise), ansi("R\xE9"
                                                                   "duire"));
  Minimiser1->setShortcut(QKeySequence("Ctrl+R"));
  Quitter1 = Fichier1->addAction(menuIcon(EIcon::Quit), "Quitter");
  Quitter1->setShortcut(QKeySequence("Ctrl+Q"));

  Option1 = menuBar()->addMenu("Outils");
  Configuration1 = Option1->addAction(menuIcon(EIcon::Settings), "Configuration");
  Configuration1->setShortcut(QKeySequence("Ctrl+O"));
  Listedattente1 = Option1->addAction(menuIcon(EIcon::WaitList), "Liste d'attente");
  Listedattente1->setShortcut(QKeySequence("Ctrl+L"));
  ManualStream1 = Option1->addAction(menuIcon(EIcon::Manual), "Stream manuel");
  ManualStream1->setShortcut(QKeySequence("Ctrl+M"));
  Togglefullscreen1 = Option1->addAction(menuIcon(EIcon::FullScreen), ansi("Mode plein \xE9"
                                                                           "cran"));
  Togglefullscreen1->setShortcut(QKeySequence("Ctrl+T"));
  Debug1 = Option1->addAction("Debug");
  Debug1->setShortcut(QKeySequence("Ctrl+D"));

  N1 = menuBar()->addMenu("?");
  propos1 = N1->addAction(menuIcon(EIcon::About), ansi("\xC0 propos"));
  Aide1 = N1->addAction(menuIcon(EIcon::Help), "Aide");
}

void TForm7::buildClientArea() {
  auto* client = new QWidget(this);
  setCentralWidget(client);

  Image2 = new QLabel(client);
  Image2->setScaledContents(true);
  QPixmap backdrop;
  backdrop.load(":/backdrop.jpg");
  Image2->setPixmap(backdrop);

  Image1 = new TVideoView(client);
  Label1 = new QLabel("0.0.0.0", client);
  Label1->move(8, 16);
  Label1->setStyleSheet("QLabel { color: white; background: black; font: bold 16px 'System'; }");
  Label1->adjustSize();

  // The bottom bar.
  SpeedButton2 = makeButton(client, 0, EIcon::Relay, true);
  SpeedButton1 = makeButton(client, 23, EIcon::Favourite, true);
  SpeedButton3 = makeButton(client, 46, EIcon::Stop, true);
  SpeedButton4 = makeButton(client, 69, EIcon::Snapshot, true);
  SpeedButton5 = makeButton(client, 92, EIcon::Voice, true);
  SpeedButton6 = makeButton(client, 115, EIcon::Listen, false);
  SpeedButton7 = makeButton(client, 115, EIcon::ListenStop, false);
  Label2 = new QLabel(QString(), client);
  Label2->move(145, 289);
  pbLevel = new QProgressBar(client);
  pbLevel->setGeometry(145, 281, 150, 17);
  pbLevel->setTextVisible(false);
  pbLevel->hide();

  // The alternate pictures of the pin and of the detection LED are kept aside.
  m_pinOff = drawIcon(EIcon::PinOff, 25, 25);
  m_pinOn = drawIcon(EIcon::PinOn, 25, 25);
  m_ledOff = drawIcon(EIcon::LedOff, 25, 25);
  m_ledOn = drawIcon(EIcon::LedOn, 25, 25);
  Image3 = new QLabel(client);
  Image3->setGeometry(368, 280, 25, 25);
  Image3->setPixmap(m_pinOff);
  Image3->setCursor(Qt::PointingHandCursor);
  Image3->installEventFilter(this);
  Image6 = new QLabel(client);
  Image6->setGeometry(394, 280, 25, 25);
  Image6->setPixmap(m_ledOff);

  // French hints until a language is applied.
  SpeedButton4->setToolTip("Capture");
  SpeedButton3->setToolTip("Stop stream");
  SpeedButton2->setToolTip(
      ansi("Actionner le relais de la platine par d\xE9"
           "faut"));
  SpeedButton1->setToolTip("Lancer le stream de la platine prioritaire");
  Image3->setToolTip("Toujours au premier plan");
}

// Commands are connected once start-up has made the parts they reach.
void TForm7::connectCommands() {
  connect(Minimiser1, &QAction::triggered, this, &TForm7::Minimiser1Click);
  connect(Quitter1, &QAction::triggered, this, &TForm7::Quitter1Click);
  connect(Debug1, &QAction::triggered, this, &TForm7::Debug1Click);
  connect(Listedattente1, &QAction::triggered, this, &TForm7::Listedattente1Click);
  connect(ManualStream1, &QAction::triggered, this, [this] { m_streams->ManualStream1Click(); });
  connect(Togglefullscreen1, &QAction::triggered, this, [this] { m_display->Image1DblClick(); });
  connect(Image1, &TVideoView::doubleClicked, this, [this] { m_display->Image1DblClick(); });
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { m_streams->SpeedButton1Click(); });
  connect(SpeedButton3, &QToolButton::clicked, this, [this] { m_streams->SpeedButton3Click(); });
  connect(SpeedButton4, &QToolButton::clicked, this, [this] { m_display->SpeedButton4Click(); });
}

void TForm7::FormCreate() {
  // 1. The bottom bar is laid out by buildClientArea; 2. every counter starts at 0 with the
  // object that owns it.
  // 3. Empty the log file.
  m_services.log.emptyFile();
  // 4. Fixed size and the video area.
  setFixedSize(435, 380);
  Image2->setGeometry(0, 8, 435, 258);
  Image1->setGeometry(9, 8, 402, 258);
  // 5-7.
  makePrivateFolderStep();
  loadTlsStep();
  // 8.
  Label1->hide();
  createVideoStep();
  m_services.log.begin();
  m_network = TNetworkState{};
  loadCipherTable();
  // 9-10.
  debugLog("Version " + FileVersionText());
  m_streams->clearStreamWanted();
  // 11-12. Host address check.
  m_timer1 = std::make_unique<QTimer>();
  m_timer1->setInterval(10000);
  m_timer2 = std::make_unique<QTimer>();
  m_timer2->setInterval(1000);
  m_timer3 = std::make_unique<QTimer>();
  m_timer3->setInterval(10);
  m_timer4 = std::make_unique<QTimer>();
  m_timer4->setInterval(4000);
  m_timer4->start();
  m_discovery = std::make_unique<TDiscovery>(m_network, static_cast<ILedView&>(*this));
  if (!hostAddressCheck(m_services.net, m_network, m_services.dialogs,
                        [this] { releaseTimers(); })) {
    requestTermination();
    createAudioClientStep();
    return;
  }
  connect(m_timer1.get(), &QTimer::timeout, this, [this] { m_discovery->Timer1Timer(); });
  connect(m_timer2.get(), &QTimer::timeout, this, &TForm7::Timer2Timer);
  m_timer1->start();
  m_timer2->start();
  // 13.
  inventoryStep();
  // 14. Detected panels, the pending command and the start switches start empty.
  m_discovery->SniffedIPs().clear();
  AppSettings.autoSnap = AppSettings.autoFullScreen = AppSettings.startMinimized =
      AppSettings.autoFocus = 0;
  // 15. The listener.
  m_serverSocket1 = std::make_unique<TNotificationListener>(static_cast<IListenerHost&>(*this));
  if (m_serverSocket1->activate(m_services.listenerPort)) {
    debugLog("Socket active port 2201");
  } else {
    m_serverSocket1.reset();
    releaseTimer(m_timer1);
    releaseTimer(m_timer2);
    m_services.dialogs.message("Ostrel Stream: Socket en cours d'utilisation.", EDialogIcon::Error);
    debugLog("Socket failed port 2201");
    requestTermination();
    return;
  }
  // 16. The idle picture was chosen with the display; 17.
  SpeedButton3->setEnabled(false);
  SpeedButton4->setEnabled(false);
  // 18-19.
  loadSettingsStep();
  if (AppSettings.startMinimized == 1) Minimiser1Click();
  // 20-23.
  applyBorderIcons();
  applyLanguageStep();
  interfaceCheckStep();
  firstDiscoveryStep();
  // 24-25.
  topmostAndHttpsStep();
  createAudioClientStep();
}

void TForm7::makePrivateFolderStep() { makePrivateFolder(m_paths); }

void TForm7::loadTlsStep() { sslAvailable = detectTlsAvailable(); }

// The video parts and the roads into a stream: the decoder comes with its controller.
void TForm7::createVideoStep() {
  m_display = std::make_unique<TVideoDisplay>(static_cast<IVideoWindow&>(*this), m_services.clock,
                                              m_services.env, loadResource(":/idle-standard.jpg"),
                                              loadResource(":/idle-festive.jpg"));
  m_streams = std::make_unique<TStreamController>(static_cast<IVideoWindow&>(*this), *m_display,
                                                  m_services.dialogs);
  m_waitList = std::make_unique<TWaitList>(*m_streams);
  m_admission = std::make_unique<TCallAdmission>(AppSettings, *m_streams, *m_waitList);
  m_clientSocket1 =
      std::make_unique<TOutgoingClient>(*m_streams, [this] { return m_network.HostIP; });
  m_clientSocket1->setRemotePort(m_services.panelSignalPort);
  m_streams->setStreamRequests(static_cast<IStreamRequests*>(this));
}

void TForm7::inventoryStep() { runInterfaceInventory(m_services.net, m_network); }

void TForm7::loadSettingsStep() {
  TSettingsStore(m_paths.settingsFile(), AppSettings, sslAvailable).loadSettings();
}

// System menu and minimise box only when the user wants them; never a maximise box.
void TForm7::applyBorderIcons() {
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (AppSettings.SysButtons)
    flags |= Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
  if (AppSettings.ONTop) flags |= Qt::WindowStaysOnTopHint;
  setWindowFlags(flags);
}

void TForm7::applyLanguageStep() {
  setLanguage(AppSettings.language);
  applyMainWindowTexts();
}

void TForm7::applyMainWindowTexts() {
  Fichier1->setTitle(ansi(UiTexts.menuFile));
  Option1->setTitle(ansi(UiTexts.menuTools));
  Quitter1->setText(ansi(UiTexts.menuQuit));
  Configuration1->setText(ansi(UiTexts.menuSettings));
  ManualStream1->setText(ansi(UiTexts.menuManualStream));
  Togglefullscreen1->setText(ansi(UiTexts.menuFullScreen));
  Debug1->setText(ansi(UiTexts.menuDebug));
  Listedattente1->setText(ansi(UiTexts.menuWaitList));
  propos1->setText(ansi(UiTexts.menuAbout));
  Aide1->setText(ansi(UiTexts.menuHelp));
  SpeedButton4->setToolTip(ansi(UiTexts.hintSnapshot));
  SpeedButton3->setToolTip(ansi(UiTexts.hintStopStream));
  SpeedButton2->setToolTip(ansi(UiTexts.hintRelay));
  SpeedButton1->setToolTip(ansi(UiTexts.hintFavouriteStream));
  Image3->setToolTip(ansi(UiTexts.chkOnTop));
}

void TForm7::interfaceCheckStep() {
  interfaceCheck(AppSettings.interfaceSelected, m_network, m_services.dialogs,
                 [this] { releaseTimers(); });
}

void TForm7::firstDiscoveryStep() { m_discovery->BCast(); }

void TForm7::topmostAndHttpsStep() {
  m_display->applyOnTopSetting();
  if (!sslAvailable) {
    debugLog("HTTPS connection won't be available on this machine.");
    m_services.dialogs.message(UiTexts.msgNoHttps, EDialogIcon::Warning);
  }
}

// The live audio client has no content yet; its place in start-up is kept.
void TForm7::createAudioClientStep() {}

void TForm7::releaseTimer(std::unique_ptr<QTimer>& timer) {
  if (timer) timer->stop();
  timer.reset();
}

void TForm7::releaseTimers() {
  releaseTimer(m_timer1);
  releaseTimer(m_timer2);
  releaseTimer(m_timer3);
  releaseTimer(m_timer4);
}

void TForm7::requestTermination() {
  m_terminationRequested = true;
  // Ends the main loop and any modal box's nested loop; before the main loop has started the
  // flag above tells the program entry not to enter it.
  QCoreApplication::exit(0);
}

// The one-second tick: detection LED, stream watchdog, idle picture.
void TForm7::Timer2Timer() {
  m_discovery->ledStep();
  m_streams->watchdogStep();
  m_display->idleStep(m_streams->StreamWanted());
}

void TForm7::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Shown by the program, not restored by the window manager from the task bar.
  if (!event->spontaneous() && !m_display->FullScreenActive()) {
    if (QScreen* screen = this->screen()) {
      QRect area = screen->geometry();
      move((area.width() - frameGeometry().width()) / 2,
           (area.height() - frameGeometry().height()) / 2);
    }
  }
  if (m_debugWindow != nullptr && m_services.log.display()) m_debugWindow->show();
}

void TForm7::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
  requestTermination();
}

void TForm7::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (m_waitListWindow != nullptr) m_waitListWindow->placeBesideMainWindow();
}

void TForm7::keyPressEvent(QKeyEvent* event) {
  if (!m_display->FormKeyDown(event->key())) QMainWindow::keyPressEvent(event);
}

bool TForm7::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Image3 && event->type() == QEvent::MouseButtonPress) {
    m_display->Image3Click();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm7::Quitter1Click() {
  m_streams->clearStreamWanted();
  if (m_serverSocket1) m_serverSocket1->deactivate();
  requestTermination();
  SpeedButton3->setEnabled(false);
  SpeedButton4->setEnabled(false);
}

void TForm7::Minimiser1Click() { showMinimized(); }

void TForm7::WMQueryEndSession() { requestTermination(); }

void TForm7::Debug1Click() {
  bool on = !m_services.log.display();
  m_services.log.setDisplay(on);
  if (on) debugLog("Debug displayed");
}

void TForm7::Listedattente1Click() {
  if (m_waitListWindow == nullptr) return;
  m_waitListWindow->show();
  m_waitListWindow->raise();
}

void TForm7::FormClose() {
  m_streams->clearStreamWanted();
  if (m_serverSocket1) m_serverSocket1->deactivate();
  m_serverSocket1.reset();
  m_clientSocket1.reset();
  SpeedButton3->setEnabled(false);
  SpeedButton4->setEnabled(false);
}

// The wait list, the decoder and the rest go with their owners; the timers first, so that no
// tick reaches a part that is going.
void TForm7::FormDestroy() { releaseTimers(); }

void TForm7::admitCall(const std::vector<std::string>& fields, const std::string& panelAddress) {
  m_admission->admitCall(fields, panelAddress);
}

void TForm7::minimizeMainWindow() { Minimiser1Click(); }

std::string TForm7::decoderAddress() const { return m_streams->target().Address; }

std::string TForm7::hostIP() const { return m_network.HostIP; }

void TForm7::addSniffedIP(const std::string& address) { m_discovery->SniffedIPs().add(address); }

void TForm7::setLedIcon(bool detected) { Image6->setPixmap(detected ? m_ledOn : m_ledOff); }

void TForm7::setLedHint(const std::string& hint) { Image6->setToolTip(ansi(hint)); }

std::string TForm7::ledHint() const { return utf8ToCp1252(Image6->toolTip().toStdString()); }

void TForm7::favouriteRequest(const std::string& address) {
  if (m_clientSocket1) m_clientSocket1->favouriteRequest(address);
}

void TForm7::manualRequest(const std::string& address) {
  if (m_clientSocket1) m_clientSocket1->manualRequest(address);
}
