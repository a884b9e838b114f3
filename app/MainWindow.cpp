// The main window: its controls, its menus and the commands they forward.
#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QUrl>
#include <QWidgetAction>

#include "app/Station.h"
#include "base/Text.h"
#include "core/DebugLog.h"
#include "core/HelpPage.h"
#include "core/UiTexts.h"
#include "ui/AboutWindow.h"
#include "ui/DebugWindow.h"
#include "ui/Icons.h"
#include "ui/JournalWindow.h"
#include "ui/SettingsWindow.h"
#include "ui/WaitListWindow.h"

namespace {

QString ansi(const std::string& text) { return QString::fromStdString(cp1252ToUtf8(text)); }

// A command's hint with the key that runs it, so that the key can be learnt where it is used.
QString withKey(const QString& hint, const QKeySequence& key) {
  return hint + " (" + key.toString(QKeySequence::NativeText) + ")";
}

QToolButton* makeButton(QWidget* parent, const char* name, int left, EIcon icon, bool visible) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setGeometry(left, 280, 24, 25);
  button->setAutoRaise(true);
  button->setIcon(QIcon(drawIcon(icon, 20, 20)));
  button->setIconSize(QSize(20, 20));
  button->setCursor(Qt::PointingHandCursor);
  button->setVisible(visible);
  return button;
}

QAction* makeAction(QMenu* menu, const char* name, const QIcon& icon, const QString& text,
                    const char* shortcut) {
  QAction* action = menu->addAction(icon, text);
  action->setObjectName(name);
  if (shortcut != nullptr) action->setShortcut(QKeySequence(shortcut));
  return action;
}

}  // namespace

TMainWindow::TMainWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle("Ostrel Stream");
  setFont(QFont("Tahoma", 8));
  buildMenus();
  buildClientArea();
  buildStatusTexts();
  setFixedSize(normalSize());
  layOutClientArea();
}

// 419 x 321 under the menu bar: the video area centred with 9 and 8 pixels aside, and room
// under the bottom bar.
QSize TMainWindow::normalSize() const {
  return QSize(ClientWidth, menuBar()->sizeHint().height() + ClientHeight);
}

// Fixed places in the normal window; in full screen the picture fills the client area.
void TMainWindow::layOutClientArea() {
  if (m_fullScreen) {
    const QRect all(QPoint(0, 0), centralWidget()->size());
    m_backdrop->setGeometry(all);
    m_videoView->setGeometry(all);
  } else {
    m_backdrop->setGeometry(0, 8, centralWidget()->width(), 258);
    m_videoView->setGeometry(9, 8, 402, 258);
  }
  m_panelCaption->raise();
  // The texts over the video follow it into and out of full screen.
  if (m_streamStatus != nullptr) placeStatusTexts();
}

TMainWindow::~TMainWindow() = default;

void TMainWindow::attachStation(TStation* station) {
  m_station = station;
  if (m_station != nullptr) connectCommands();
}

void TMainWindow::attachDebugWindow(TDebugWindow* debugWindow) {
  m_debugWindow = debugWindow;
  if (m_debugWindow != nullptr) m_debugWindow->placeBeside(*this);
}

void TMainWindow::attachWaitListWindow(TWaitListWindow* waitListWindow) {
  m_waitListWindow = waitListWindow;
}

void TMainWindow::attachSettingsWindow(TSettingsWindow* settingsWindow) {
  m_settingsWindow = settingsWindow;
}

void TMainWindow::attachAboutWindow(TAboutWindow* aboutWindow) { m_aboutWindow = aboutWindow; }

void TMainWindow::buildMenus() {
  m_fileMenu = menuBar()->addMenu("Fichier");
  m_fileMenu->setObjectName("fileMenu");
  m_minimiseAction = makeAction(m_fileMenu, "minimiseAction", menuIcon(EIcon::Minimise),
                                ansi("R\xE9"
                                     "duire"),
                                "Ctrl+R");
  m_quitAction = makeAction(m_fileMenu, "quitAction", menuIcon(EIcon::Quit), "Quitter", "Ctrl+Q");

  m_toolsMenu = menuBar()->addMenu("Outils");
  m_toolsMenu->setObjectName("toolsMenu");
  m_settingsAction = makeAction(m_toolsMenu, "settingsAction", menuIcon(EIcon::Settings),
                                "Configuration", "Ctrl+O");
  m_waitListAction = makeAction(m_toolsMenu, "waitListAction", menuIcon(EIcon::WaitList),
                                "Liste d'attente", "Ctrl+L");
  m_journalAction =
      makeAction(m_toolsMenu, "journalAction", QIcon(), "Journal des visites", "Ctrl+J");
  m_manualStreamAction = makeAction(m_toolsMenu, "manualStreamAction", menuIcon(EIcon::Manual),
                                    "Stream manuel", "Ctrl+M");
  m_fullScreenAction = makeAction(m_toolsMenu, "fullScreenAction", menuIcon(EIcon::FullScreen),
                                  ansi("Mode plein \xE9"
                                       "cran"),
                                  "Ctrl+T");
  m_debugAction = makeAction(m_toolsMenu, "debugAction", QIcon(), "Debug", "Ctrl+D");
  m_statisticsAction = makeAction(m_toolsMenu, "statisticsAction", QIcon(),
                                  "Afficher les statistiques du flux", nullptr);
  m_statisticsAction->setCheckable(true);

  m_helpMenu = menuBar()->addMenu("?");
  m_helpMenu->setObjectName("helpMenu");
  m_aboutAction =
      makeAction(m_helpMenu, "aboutAction", menuIcon(EIcon::About), ansi("\xC0 propos"), nullptr);
  m_helpAction = makeAction(m_helpMenu, "helpAction", menuIcon(EIcon::Help), "Aide", nullptr);
}

void TMainWindow::buildClientArea() {
  auto* client = new QWidget(this);
  setCentralWidget(client);
  // The window manager resizes the window after the request; the picture follows.
  client->installEventFilter(this);

  m_backdrop = new QLabel(client);
  m_backdrop->setObjectName("backdrop");
  m_backdrop->setScaledContents(true);
  QPixmap backdrop;
  backdrop.load(":/backdrop.jpg");
  m_backdrop->setPixmap(backdrop);

  m_videoView = new TVideoView(client);
  m_videoView->setObjectName("videoView");
  m_panelCaption = new QLabel("0.0.0.0", client);
  m_panelCaption->setObjectName("panelCaption");
  m_panelCaption->move(8, 16);
  m_panelCaption->setStyleSheet(
      "QLabel { color: white; background: black; font: bold 16px 'System'; }");
  m_panelCaption->adjustSize();

  // The bottom bar.
  m_relayButton = makeButton(client, "relayButton", 0, EIcon::Relay, true);
  m_favouriteButton = makeButton(client, "favouriteButton", 23, EIcon::Favourite, true);
  m_stopButton = makeButton(client, "stopButton", 46, EIcon::Stop, true);
  m_snapshotButton = makeButton(client, "snapshotButton", 69, EIcon::Snapshot, true);
  m_voiceMessageButton = makeButton(client, "voiceMessageButton", 92, EIcon::Voice, true);
  m_listenButton = makeButton(client, "listenButton", 115, EIcon::Listen, false);
  m_stopListeningButton = makeButton(client, "stopListeningButton", 115, EIcon::ListenStop, false);
  m_recordingClock = new QLabel(QString(), client);
  m_recordingClock->setObjectName("recordingClock");
  m_recordingClock->setGeometry(145, 289, 111, 13);
  m_recordingClock->setFixedSize(111, 13);
  m_audioLevelBar = new QProgressBar(client);
  m_audioLevelBar->setObjectName("audioLevelBar");
  m_audioLevelBar->setGeometry(145, 281, 109, 9);
  m_audioLevelBar->setRange(0, 100);
  m_audioLevelBar->setValue(0);
  m_audioLevelBar->setTextVisible(false);
  m_audioLevelBar->setContextMenuPolicy(Qt::CustomContextMenu);
  m_audioLevelBar->hide();

  // The alternate pictures of the pin and of the detection LED are kept aside.
  m_pinOff = drawIcon(EIcon::PinOff, 25, 25);
  m_pinOn = drawIcon(EIcon::PinOn, 25, 25);
  m_ledOff = drawIcon(EIcon::LedOff, 25, 25);
  m_ledOn = drawIcon(EIcon::LedOn, 25, 25);
  m_alwaysOnTopPin = new QLabel(client);
  m_alwaysOnTopPin->setObjectName("alwaysOnTopPin");
  m_alwaysOnTopPin->setGeometry(368, 280, 25, 25);
  m_alwaysOnTopPin->setPixmap(m_pinOff);
  m_alwaysOnTopPin->setCursor(Qt::PointingHandCursor);
  m_alwaysOnTopPin->installEventFilter(this);
  m_detectionLed = new QLabel(client);
  m_detectionLed->setObjectName("detectionLed");
  m_detectionLed->setGeometry(394, 280, 25, 25);
  m_detectionLed->setPixmap(m_ledOff);

  m_relayButton->setShortcut(relayKey());
  m_favouriteButton->setShortcut(favouriteKey());
  m_stopButton->setShortcut(stopKey());
  m_snapshotButton->setShortcut(snapshotKey());
  m_voiceMessageButton->setShortcut(voiceMessageKey());
  // One key for both: only one of the two is shown at a time.
  m_listenButton->setShortcut(listenKey());
  m_stopListeningButton->setShortcut(listenKey());
  // The pin is a picture: its key lives with it, so it works only while the pin is shown.
  auto* onTopShortcut = new QShortcut(onTopKey(), m_alwaysOnTopPin);
  connect(onTopShortcut, &QShortcut::activated, this, [this] {
    if (m_station != nullptr) m_station->toggleAlwaysOnTop();
  });
  setTabOrderOfTheBar();

  // French hints until a language is applied.
  m_snapshotButton->setToolTip(withKey("Capture", snapshotKey()));
  m_stopButton->setToolTip(withKey("Stop stream", stopKey()));
  m_relayHint = withKey(ansi("Actionner le relais de la platine par d\xE9"
                             "faut"),
                        relayKey());
  m_relayButton->setToolTip(m_relayHint);
  m_favouriteButton->setToolTip(
      withKey("Lancer le stream de la platine prioritaire", favouriteKey()));
  m_alwaysOnTopPin->setToolTip(withKey("Toujours au premier plan", onTopKey()));
  m_voiceMessageButton->setToolTip(withKey("Message vocal", voiceMessageKey()));
  m_listenButton->setToolTip(withKey(ansi("\xC9"
                                          "couter la platine prioritaire"),
                                     listenKey()));
  m_stopListeningButton->setToolTip(withKey(ansi("Arr\xEAter l'\xE9"
                                                 "coute"),
                                            listenKey()));
  m_alwaysOnTopPin->setAccessibleName("Toujours au premier plan");
  m_detectionLed->setAccessibleName(ansi("D\xE9tection des platines"));
  m_relayButton->setAccessibleName("Relais de la porte");
  m_favouriteButton->setAccessibleName("Stream de la platine prioritaire");
  m_stopButton->setAccessibleName(ansi("Arr\xEAter le stream"));
  m_snapshotButton->setAccessibleName("Capture");
  m_voiceMessageButton->setAccessibleName("Message vocal");
  m_listenButton->setAccessibleName(
      ansi("\xC9"
           "couter la platine prioritaire"));
  m_stopListeningButton->setAccessibleName(
      ansi("Arr\xEAter l'\xE9"
           "coute"));
}

// Tab goes along the bar from left to right, as the buttons are laid out.
void TMainWindow::setTabOrderOfTheBar() {
  QWidget* const order[] = {m_relayButton,        m_favouriteButton,    m_stopButton,
                            m_snapshotButton,     m_voiceMessageButton, m_listenButton,
                            m_stopListeningButton};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void TMainWindow::connectCommands() {
  TStation* station = m_station;
  connect(m_minimiseAction, &QAction::triggered, this, &TMainWindow::onMinimiseTriggered);
  connect(m_quitAction, &QAction::triggered, this, [station] { station->onQuitTriggered(); });
  connect(m_debugAction, &QAction::triggered, this, [station] { station->onDebugTriggered(); });
  connect(m_waitListAction, &QAction::triggered, this, &TMainWindow::onWaitListTriggered);
  connect(m_journalAction, &QAction::triggered, this, &TMainWindow::onJournalTriggered);
  connect(m_settingsAction, &QAction::triggered, this, &TMainWindow::onSettingsTriggered);
  connect(m_aboutAction, &QAction::triggered, this, &TMainWindow::onAboutTriggered);
  connect(m_helpAction, &QAction::triggered, this, &TMainWindow::onHelpTriggered);
  connect(m_manualStreamAction, &QAction::triggered, this,
          [station] { station->onManualStreamTriggered(); });
  connect(m_fullScreenAction, &QAction::triggered, this,
          [station] { station->toggleFullScreen(); });
  connect(m_videoView, &TVideoView::doubleClicked, this,
          [station] { station->toggleFullScreen(); });
  connect(m_favouriteButton, &QToolButton::clicked, this,
          [station] { station->onFavouriteClicked(); });
  connect(m_stopButton, &QToolButton::clicked, this, [station] { station->onStopClicked(); });
  connect(m_relayButton, &QToolButton::clicked, this, [station] { station->onRelayClicked(); });
  connect(m_voiceMessageButton, &QToolButton::clicked, this,
          [station] { station->onVoiceMessageClicked(); });
  connect(m_snapshotButton, &QToolButton::clicked, this,
          [station] { station->onSnapshotClicked(); });
  connect(m_statisticsAction, &QAction::toggled, this,
          [station](bool on) { station->setStatisticsShown(on); });
  connect(m_listenButton, &QToolButton::clicked, this, [station] { station->onListenClicked(); });
  connect(m_stopListeningButton, &QToolButton::clicked, this,
          [station] { station->onStopListeningClicked(); });
  connect(m_audioLevelBar, &QWidget::customContextMenuRequested, this,
          &TMainWindow::onAudioLevelMenuRequested);
}

void TMainWindow::setAudioLevel(int position) { m_audioLevelBar->setValue(position); }

// The slider reports only where it is let go (or each key step), so a drag saves once.
void TMainWindow::onAudioLevelMenuRequested(const QPoint& where) {
  if (m_station == nullptr) return;
  const TAppSettings& settings = m_station->services().settings;
  const bool french = settings.language != "EN";
  delete m_liveVolumeMenu;
  m_liveVolumeMenu = new QMenu(this);
  m_liveVolumeMenu->setObjectName("liveVolumeMenu");
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setObjectName("liveVolumeSlider");
  slider->setRange(0, 100);
  slider->setValue(settings.liveVolume);
  slider->setTracking(false);
  slider->setMinimumWidth(120);
  slider->setToolTip(french ? "Volume du son en direct" : "Live sound volume");
  auto* sliderAction = new QWidgetAction(m_liveVolumeMenu);
  sliderAction->setDefaultWidget(slider);
  m_liveVolumeMenu->addAction(sliderAction);
  QAction* mute = m_liveVolumeMenu->addAction(french ? "Muet" : "Mute");
  mute->setObjectName("liveMuteAction");
  mute->setCheckable(true);
  mute->setChecked(settings.liveMute);
  TStation* station = m_station;
  connect(slider, &QSlider::valueChanged, this,
          [station, mute](int value) { station->setLiveVolume(value, mute->isChecked()); });
  connect(mute, &QAction::toggled, this,
          [station, slider](bool on) { station->setLiveVolume(slider->value(), on); });
  m_liveVolumeMenu->popup(m_audioLevelBar->mapToGlobal(where));
}

// System menu and minimise box only when the user wants them; never a maximise box.
void TMainWindow::applyBorderIcons(bool systemButtons, bool onTop) {
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (systemButtons)
    flags |= Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
  if (onTop) flags |= Qt::WindowStaysOnTopHint;
  setFlagsInPlace(flags);
}

// Changing window flags hides the window: put it back as it was, where it was, without the
// centring of a first show.
void TMainWindow::setFlagsInPlace(Qt::WindowFlags flags) {
  const bool visible = isVisible();
  const QRect where = geometry();
  QScopedValueRollback reshowing(m_reshowing, true);
  setWindowFlags(flags);
  if (visible) {
    show();
    setGeometry(where);
  }
}

void TMainWindow::applyTexts() {
  m_fileMenu->setTitle(ansi(UiTexts.menuFile));
  m_toolsMenu->setTitle(ansi(UiTexts.menuTools));
  m_quitAction->setText(ansi(UiTexts.menuQuit));
  m_settingsAction->setText(ansi(UiTexts.menuSettings));
  m_manualStreamAction->setText(ansi(UiTexts.menuManualStream));
  m_fullScreenAction->setText(ansi(UiTexts.menuFullScreen));
  m_debugAction->setText(ansi(UiTexts.menuDebug));
  m_statisticsAction->setText(ansi(UiTexts.menuStreamStats));
  m_waitListAction->setText(ansi(UiTexts.menuWaitList));
  m_journalAction->setText(ansi(UiTexts.menuJournal));
  if (m_journalWindow) m_journalWindow->applyTexts();
  m_aboutAction->setText(ansi(UiTexts.menuAbout));
  m_helpAction->setText(ansi(UiTexts.menuHelp));
  m_snapshotButton->setToolTip(withKey(ansi(UiTexts.hintSnapshot), snapshotKey()));
  m_stopButton->setToolTip(withKey(ansi(UiTexts.hintStopStream), stopKey()));
  m_relayHint = withKey(ansi(UiTexts.hintRelay), relayKey());
  m_relayButton->setToolTip(m_relayHint);
  m_favouriteButton->setToolTip(withKey(ansi(UiTexts.hintFavouriteStream), favouriteKey()));
  m_alwaysOnTopPin->setToolTip(withKey(ansi(UiTexts.chkOnTop), onTopKey()));
  applyAccessibleTexts();
}

// The names a screen reader gives the controls that show only a picture, and the tooltips of the
// commands whose texts are ours.
void TMainWindow::applyAccessibleTexts() {
  // A language without texts of its own leaves the French names in place: a control must never
  // lose its name.
  const auto name = [](QWidget* control, const std::string& text) {
    if (!text.empty()) control->setAccessibleName(ansi(text));
  };
  const auto hint = [](QWidget* control, const std::string& text, const QKeySequence& key) {
    if (!text.empty()) control->setToolTip(withKey(ansi(text), key));
  };
  name(m_relayButton, UiTexts.nameRelay);
  name(m_favouriteButton, UiTexts.nameFavouriteStream);
  name(m_stopButton, UiTexts.nameStopStream);
  name(m_snapshotButton, UiTexts.nameSnapshot);
  name(m_voiceMessageButton, UiTexts.nameVoiceMessage);
  name(m_listenButton, UiTexts.nameListen);
  name(m_stopListeningButton, UiTexts.nameStopListening);
  name(m_alwaysOnTopPin, UiTexts.chkOnTop);
  name(m_detectionLed, UiTexts.nameDetection);
  hint(m_voiceMessageButton, UiTexts.nameVoiceMessage, voiceMessageKey());
  hint(m_listenButton, UiTexts.nameListen, listenKey());
  hint(m_stopListeningButton, UiTexts.nameStopListening, listenKey());
}

void TMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Centred when the program shows it: not when the window manager restores it from the task
  // bar, not when a flag change re-shows it, not in full screen, and not while minimised (a
  // move would restore it).
  if (!event->spontaneous() && !m_reshowing && !m_fullScreen && !isMinimized()) centre();
  if (m_debugWindow != nullptr && m_station != nullptr && m_station->services().log.display())
    m_debugWindow->show();
}

// With a tray the close box only hides the window; Quit still ends the program.
void TMainWindow::closeEvent(QCloseEvent* event) {
  if (m_station != nullptr && m_station->closesToTray()) {
    event->ignore();
    hide();
    return;
  }
  event->accept();
  if (m_station != nullptr) m_station->onCloseRequested();
}

bool TMainWindow::onScreen() const { return isVisible() && !isMinimized(); }

void TMainWindow::requestAttention() { QApplication::alert(this); }

void TMainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (m_waitListWindow != nullptr) m_waitListWindow->placeBesideMainWindow();
}

void TMainWindow::keyPressEvent(QKeyEvent* event) {
  if (m_station == nullptr || !m_station->handleKey(event->key()))
    QMainWindow::keyPressEvent(event);
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == centralWidget() && event->type() == QEvent::Resize) layOutClientArea();
  if (watched == m_snapshotPath && event->type() == QEvent::MouseButtonPress) {
    if (!m_snapshotFolder.isEmpty())
      QDesktopServices::openUrl(QUrl::fromLocalFile(m_snapshotFolder));
    return true;
  }
  if (watched == m_alwaysOnTopPin && event->type() == QEvent::MouseButtonPress) {
    if (m_station != nullptr) m_station->toggleAlwaysOnTop();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainWindow::centre() {
  if (QScreen* screen = this->screen()) {
    QRect area = screen->geometry();
    move((area.width() - frameGeometry().width()) / 2,
         (area.height() - frameGeometry().height()) / 2);
  }
}

// The relay button keeps taking clicks while busy (they queue); its colour and tooltip tell the
// outcome, since a panel may answer 200 with an error text.
void TMainWindow::showRelayOutcome(const std::optional<TRelayOutcome>& outcome) {
  if (!outcome) {
    m_relayButton->setStyleSheet(QString());
    m_relayButton->setToolTip(m_relayHint);
    return;
  }
  switch (outcome->state) {
    case ERelayState::Busy:
      m_relayButton->setStyleSheet(
          "QToolButton { background-color: #f2c14e; border: 1px solid #a07a1c; }");
      m_relayButton->setToolTip(QStringLiteral("\u2026"));
      break;
    case ERelayState::Success:
      m_relayButton->setStyleSheet(
          "QToolButton { background-color: #2e9e44; border: 1px solid #1d6b2c; }");
      m_relayButton->setToolTip(QStringLiteral("\u2714 ") + ansi(outcome->detail));
      break;
    case ERelayState::Failure:
      m_relayButton->setStyleSheet(
          "QToolButton { background-color: #d13b2e; border: 1px solid #8a2219; }");
      m_relayButton->setToolTip(QStringLiteral("\u2718 ") + ansi(outcome->detail));
      break;
  }
}

// Recording is a bright red of its own; the upload's outcome uses the relay button's colours.
void TMainWindow::showVoiceMessage(const TVoiceMessageLook& look) {
  m_recordingClock->setText(QString::fromStdString(look.clock));
  switch (look.state) {
    case EVoiceState::Idle:
      m_voiceMessageButton->setStyleSheet(QString());
      m_voiceMessageButton->setToolTip(QString());
      break;
    case EVoiceState::Recording:
      m_voiceMessageButton->setStyleSheet(
          "QToolButton { background-color: #ff2d2d; border: 2px solid #7a0000; }");
      m_voiceMessageButton->setToolTip(QStringLiteral("\u25CF REC"));
      break;
    case EVoiceState::Uploading:
      m_voiceMessageButton->setStyleSheet(
          "QToolButton { background-color: #f2c14e; border: 1px solid #a07a1c; }");
      m_voiceMessageButton->setToolTip(QStringLiteral("\u2026"));
      break;
    case EVoiceState::Success:
      m_voiceMessageButton->setStyleSheet(
          "QToolButton { background-color: #2e9e44; border: 1px solid #1d6b2c; }");
      m_voiceMessageButton->setToolTip(QStringLiteral("\u2714 ") + ansi(look.detail));
      break;
    case EVoiceState::Failure:
      m_voiceMessageButton->setStyleSheet(
          "QToolButton { background-color: #8a2219; border: 1px solid #4a100b; }");
      m_voiceMessageButton->setToolTip(QStringLiteral("\u2718 ") + ansi(look.detail));
      break;
  }
}

void TMainWindow::minimise() {
  // Minimised before its first show (startMinimized): placed now, so that restoring it later
  // brings it up centred.
  if (!isVisible()) centre();
  showMinimized();
}

void TMainWindow::onMinimiseTriggered() { minimise(); }

void TMainWindow::onJournalTriggered() {
  TStation* station = m_station;
  if (station == nullptr) return;
  if (!m_journalWindow)
    m_journalWindow = std::make_unique<TJournalWindow>(
        station->journalFile(), station->services().dialogs,
        [station] {
          if (station->journal() != nullptr) station->journal()->flush();
        },
        [station] { station->journalOpened(); });
  m_journalWindow->showJournal();
}

void TMainWindow::onWaitListTriggered() {
  if (m_waitListWindow == nullptr) return;
  m_waitListWindow->show();
  m_waitListWindow->raise();
}

// Not modal: the main window keeps working while the settings are open.
void TMainWindow::onSettingsTriggered() {
  if (m_settingsWindow != nullptr) m_settingsWindow->open();
}

void TMainWindow::onAboutTriggered() {
  if (m_aboutWindow != nullptr) m_aboutWindow->open();
}

// The page of the language in use, in the user's browser. An installed program finds it under
// its prefix, one run from the build tree in the source tree.
void TMainWindow::onHelpTriggered() {
  const std::string& language = m_station->services().settings.language;
  const std::optional<std::string> page = findHelpPage(
      language, QCoreApplication::applicationDirPath().toStdString(), OSTREL_HELP_SOURCE_DIR);
  if (!page) {
    debugLog("Help page not found: " + helpPageName(language));
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(*page))))
    debugLog("Could not open the help page " + *page);
}

void TMainWindow::setLedIcon(bool detected) {
  m_detectionLed->setPixmap(detected ? m_ledOn : m_ledOff);
}

void TMainWindow::setLedHint(const std::string& hint) { m_detectionLed->setToolTip(ansi(hint)); }

std::string TMainWindow::ledHint() const {
  return utf8ToCp1252(m_detectionLed->toolTip().toStdString());
}
