// The settings window: its five tabs, the opening that fills them, and the commands.
#include "ui/SettingsWindow.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMetaObject>
#include <utility>

#include "base/Text.h"
#include "base/Vigenere.h"
#include "core/SettingsEdits.h"
#include "core/UiTexts.h"
#include "ui/Icons.h"

namespace {

QString ansi(const std::string& text) { return QString::fromStdString(cp1252ToUtf8(text)); }
std::string ansiOf(const QString& text) { return utf8ToCp1252(text.toStdString()); }

// A sample identity shown in grey in an empty identity field; display text only.
const char* const kSampleIdentity = "1001@sip.example.net";

const char* const kChangesQuestion =
    "Des modifications ont \xE9t\xE9 d\xE9tect\xE9"
    "es.\nVoulez-vous les enregistrer?";

template <typename T>
T* named(T* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

QLabel* makeLabel(QWidget* parent, const char* name, QRect where, bool wrap = false) {
  auto* label = named(new QLabel(parent), name);
  label->setGeometry(where);
  label->setWordWrap(wrap);
  return label;
}

QToolButton* makeToolButton(QWidget* parent, const char* name, QRect where, EIcon icon) {
  auto* button = named(new QToolButton(parent), name);
  button->setGeometry(where);
  button->setIcon(QIcon(drawIcon(icon, 16, 16)));
  button->setAutoRaise(true);
  button->setCursor(Qt::PointingHandCursor);
  return button;
}

QCheckBox* makeCheck(QWidget* parent, const char* name, QRect where) {
  auto* check = named(new QCheckBox(parent), name);
  check->setGeometry(where);
  return check;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, QRect where) {
  auto* edit = named(new QLineEdit(parent), name);
  edit->setGeometry(where);
  return edit;
}

// The raised caption beside a field.
QLabel* makeCaption(QWidget* parent, const char* name, QRect where) {
  auto* caption = makeLabel(parent, name, where);
  caption->setFrameStyle(QFrame::Panel | QFrame::Raised);
  caption->setIndent(4);
  return caption;
}

}  // namespace

TSettingsWindow::TSettingsWindow(TAppSettings& settings, TSettingsStore& store,
                                 TAutostart& autostart, ISettingsHost& host, IDialogs& dialogs,
                                 QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_settings(settings),
      m_store(store),
      m_autostart(autostart),
      m_host(host),
      m_dialogs(dialogs),
      m_applier(settings, store, autostart, host, dialogs) {
  setObjectName("settingsWindow");
  setWindowTitle("Settings");
  setFont(QFont("Tahoma", 8));
  setFixedSize(417, 321);

  m_tabs = named(new QTabWidget(this), "tabs");
  m_tabs->setGeometry(4, 4, 409, 280);
  buildCallTab();
  buildAddressesTab();
  buildApiTab();
  buildPreferencesTab();
  buildNotificationsTab();

  m_okButton = named(new QPushButton("Ok", this), "okButton");
  m_okButton->setGeometry(170, 290, 75, 25);
  m_applyButton = named(new QPushButton(this), "applyButton");
  m_applyButton->setGeometry(251, 290, 75, 25);
  m_cancelButton = named(new QPushButton(this), "cancelButton");
  m_cancelButton->setGeometry(332, 290, 75, 25);
  connect(m_okButton, &QPushButton::clicked, this, &TSettingsWindow::onOkClicked);
  connect(m_applyButton, &QPushButton::clicked, this, &TSettingsWindow::onApplyClicked);
  connect(m_cancelButton, &QPushButton::clicked, this, &TSettingsWindow::onCancelClicked);
  applySettingsWindowTexts();
}

void TSettingsWindow::buildCallTab() {
  auto* page = new QWidget;
  m_tabs->addTab(page, QString());
  m_calledIdentityLabel = makeLabel(page, "calledIdentityLabel", {8, 6, 385, 30}, true);
  m_calledIdentityCaption = makeCaption(page, "calledIdentityCaption", {8, 40, 130, 21});
  m_calledIdentityEdit = makeEdit(page, "calledIdentityEdit", {142, 40, 251, 21});
  m_calledIdentityEdit->setPlaceholderText(kSampleIdentity);
  m_callingIdentitiesLabel = makeLabel(page, "callingIdentitiesLabel", {8, 68, 385, 30}, true);
  m_callingIdentityCaption = makeCaption(page, "callingIdentityCaption", {8, 102, 106, 21});
  m_addCallingIdentityButton =
      makeToolButton(page, "addCallingIdentityButton", {116, 102, 22, 21}, EIcon::Add);
  m_callingIdentityEdit = makeEdit(page, "callingIdentityEdit", {142, 102, 251, 21});
  m_callingIdentityEdit->setPlaceholderText(kSampleIdentity);
  m_callingList = named(new QListWidget(page), "callingList");
  m_callingList->setGeometry(8, 128, 359, 68);
  m_callingList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_removeCallingIdentitiesButton =
      makeToolButton(page, "removeCallingIdentitiesButton", {371, 128, 22, 22}, EIcon::Remove);
  m_waitListCheck = makeCheck(page, "waitListCheck", {8, 202, 385, 20});
  m_showNextWaitingCheck = makeCheck(page, "showNextWaitingCheck", {8, 226, 385, 20});

  m_calledIdentityCaption->installEventFilter(this);
  m_callingIdentityCaption->installEventFilter(this);
  m_callingIdentityEdit->installEventFilter(this);
  connect(m_addCallingIdentityButton, &QToolButton::clicked, this,
          &TSettingsWindow::onAddCallingIdentity);
  connect(m_removeCallingIdentitiesButton, &QToolButton::clicked, this,
          &TSettingsWindow::onRemoveCallingIdentities);
  connect(m_callingList, &QListWidget::itemDoubleClicked, this,
          &TSettingsWindow::onCallingIdentityDoubleClicked);
}

void TSettingsWindow::buildAddressesTab() {
  auto* page = new QWidget;
  m_tabs->addTab(page, QString());
  m_favouriteCombo = named(new QComboBox(page), "favouriteCombo");
  m_favouriteCombo->setGeometry(8, 6, 150, 21);
  m_favouriteCheck = makeCheck(page, "favouriteCheck", {166, 6, 227, 21});
  m_addressesLabel = makeLabel(page, "addressesLabel", {8, 30, 385, 30}, true);
  m_addressEdit = named(new QPlainTextEdit(page), "addressEdit");
  m_addressEdit->setGeometry(8, 62, 385, 48);
  m_addressEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_addressEdit->installEventFilter(this);
  m_detectedLabel = makeLabel(page, "detectedLabel", {8, 116, 300, 20});
  m_refreshDetectedButton =
      makeToolButton(page, "refreshDetectedButton", {345, 114, 22, 22}, EIcon::Refresh);
  m_addDetectedButton = makeToolButton(page, "addDetectedButton", {371, 114, 22, 22}, EIcon::Add);
  m_detectedEdit = makeEdit(page, "detectedEdit", {8, 140, 385, 21});
  m_detectedEdit->setReadOnly(true);
  m_detectedEdit->setStyleSheet("QLineEdit { background: palette(button); }");
  m_interfacesLabel = makeLabel(page, "interfacesLabel", {8, 168, 200, 18});
  m_interfaceCombo = named(new QComboBox(page), "interfaceCombo");
  m_interfaceCombo->setGeometry(8, 188, 150, 21);
  m_refreshInterfacesButton =
      makeToolButton(page, "refreshInterfacesButton", {162, 188, 22, 22}, EIcon::Refresh);
  auto* info = makeLabel(page, "interfaceInfoIcon", {8, 218, 16, 16});
  info->setPixmap(drawIcon(EIcon::Information, 16, 16));
  m_interfaceHint = makeLabel(page, "interfaceHint", {30, 214, 363, 34}, true);

  connect(m_refreshDetectedButton, &QToolButton::clicked, this,
          &TSettingsWindow::onRefreshDetectedClicked);
  connect(m_addDetectedButton, &QToolButton::clicked, this, &TSettingsWindow::onAddDetectedClicked);
  connect(m_refreshInterfacesButton, &QToolButton::clicked, this,
          &TSettingsWindow::onRefreshInterfacesClicked);
  connect(m_interfaceCombo, &QComboBox::currentIndexChanged, this,
          &TSettingsWindow::onInterfaceChosen);
}

void TSettingsWindow::buildApiTab() {
  auto* page = new QWidget;
  m_tabs->addTab(page, QString());
  m_apiLabel = makeLabel(page, "apiLabel", {8, 6, 385, 18});
  m_loginCaption = makeCaption(page, "loginCaption", {8, 30, 150, 21});
  m_loginEdit = makeEdit(page, "loginEdit", {162, 30, 200, 21});
  m_passwordCaption = makeCaption(page, "passwordCaption", {8, 56, 150, 21});
  m_passwordEdit = makeEdit(page, "passwordEdit", {162, 56, 200, 21});
  m_revealPasswordButton =
      makeToolButton(page, "revealPasswordButton", {366, 56, 22, 21}, EIcon::Eye);
  m_authTypeCaption = makeCaption(page, "authTypeCaption", {8, 82, 150, 21});
  m_authTypeCombo = named(new QComboBox(page), "authTypeCombo");
  m_authTypeCombo->setGeometry(162, 82, 120, 21);
  m_authTypeCombo->addItems({"None", "Basic", "Digest"});
  m_methodCaption = makeCaption(page, "methodCaption", {8, 108, 150, 21});
  m_methodCombo = named(new QComboBox(page), "methodCombo");
  m_methodCombo->setGeometry(162, 108, 120, 21);
  m_methodCombo->addItems({"GET", "POST"});
  m_sslCheck = makeCheck(page, "sslCheck", {8, 136, 150, 20});
  m_sslCheck->setText("SSL");
  m_strikeCodeCaption = makeCaption(page, "strikeCodeCaption", {8, 162, 150, 21});
  m_strikeCodeEdit = makeEdit(page, "strikeCodeEdit", {162, 162, 60, 21});
  m_strikeCodeEdit->setMaxLength(4);
  m_revealStrikeCodeButton =
      makeToolButton(page, "revealStrikeCodeButton", {226, 162, 22, 21}, EIcon::Eye);
  // The mask is the bullet whatever the style would choose.
  for (QLineEdit* field : {m_passwordEdit, m_strikeCodeEdit})
    field->setStyleSheet("QLineEdit { lineedit-password-character: 8226; }");

  connect(m_revealPasswordButton, &QToolButton::clicked, this,
          &TSettingsWindow::onRevealPasswordClicked);
  connect(m_revealStrikeCodeButton, &QToolButton::clicked, this,
          &TSettingsWindow::onRevealStrikeCodeClicked);
  connect(m_strikeCodeEdit, &QLineEdit::textChanged, this, &TSettingsWindow::onStrikeCodeEdited);
}

void TSettingsWindow::buildPreferencesTab() {
  auto* page = new QWidget;
  m_tabs->addTab(page, QString());
  auto* group = named(new QGroupBox(page), "preferencesGroup");
  group->setGeometry(8, 4, 385, 186);
  m_onTopCheck = makeCheck(group, "onTopCheck", {10, 12, 365, 20});
  m_autoFocusCheck = makeCheck(group, "autoFocusCheck", {10, 36, 365, 20});
  m_autoFullScreenCheck = makeCheck(group, "autoFullScreenCheck", {10, 60, 365, 20});
  m_autoSnapCheck = makeCheck(group, "autoSnapCheck", {10, 84, 365, 20});
  m_autostartCheck = makeCheck(group, "autostartCheck", {10, 108, 365, 20});
  m_sysButtonsCheck = makeCheck(group, "sysButtonsCheck", {10, 132, 365, 20});
  m_startMinimizedCheck = makeCheck(group, "startMinimizedCheck", {10, 156, 365, 20});
  m_languageLabel = makeLabel(page, "languageLabel", {8, 200, 100, 21});
  m_languageCombo = named(new QComboBox(page), "languageCombo");
  m_languageCombo->setGeometry(112, 200, 150, 21);
  m_snapshotFolderLabel = makeLabel(page, "snapshotFolderLabel", {8, 226, 100, 21});
  m_snapshotFolderEdit = makeEdit(page, "snapshotFolderEdit", {112, 226, 281, 21});
}

void TSettingsWindow::buildNotificationsTab() {
  m_notificationsPage = named(new QWidget, "notificationsPage");
  m_tabs->addTab(m_notificationsPage, QString());
  m_closeToTrayCheck = makeCheck(m_notificationsPage, "closeToTrayCheck", {8, 8, 385, 20});
  m_noTrayLabel = makeLabel(m_notificationsPage, "noTrayLabel", {26, 30, 367, 30}, true);
  m_noTrayLabel->setVisible(false);
  m_ringCheck = makeCheck(m_notificationsPage, "ringCheck", {8, 64, 385, 20});
  m_journalBox = new TJournalSettingsBox(m_notificationsPage);
  m_journalBox->setGeometry(8, 92, 385, 82);
}

void TSettingsWindow::setTrayAvailable(bool available) {
  m_trayAvailable = available;
  m_closeToTrayCheck->setEnabled(available);
  m_noTrayLabel->setVisible(!available);
}

void TSettingsWindow::applySettingsWindowTexts() {
  const TUiTexts& t = UiTexts;
  m_applyButton->setText(ansi(t.btnApply));
  m_cancelButton->setText(ansi(t.btnCancel));
  m_tabs->setTabText(CallTab, ansi(t.tabCall));
  m_tabs->setTabText(AddressesTab, ansi(t.tabAddresses));
  m_tabs->setTabText(ApiTab, ansi(t.tabApi));
  m_tabs->setTabText(PreferencesTab, ansi(t.tabPreferences));
  m_tabs->setTabText(NotificationsTab, ansi(t.tabNotifications));
  m_closeToTrayCheck->setText(ansi(t.chkCloseToTray));
  m_noTrayLabel->setText(ansi(t.hintNoTray));
  m_ringCheck->setText(ansi(t.chkRing));
  m_journalBox->applyTexts();
  m_calledIdentityLabel->setText(ansi(t.lblCalledIdentity));
  m_calledIdentityCaption->setText(ansi(t.pnlCalledIdentity));
  m_callingIdentitiesLabel->setText(ansi(t.lblCallingIdentities));
  m_callingIdentityCaption->setText(ansi(t.pnlCallingIdentity));
  m_waitListCheck->setText(ansi(t.chkWaitList));
  m_waitListCheck->setToolTip(ansi(t.hintWaitList));
  m_favouriteCheck->setText(ansi(t.chkFavourite));
  m_favouriteCheck->setToolTip(ansi(t.hintFavourite));
  m_addressesLabel->setText(ansi(t.lblAddresses));
  m_detectedLabel->setText(ansi(t.lblDetected));
  m_refreshDetectedButton->setToolTip(ansi(t.hintRefresh));
  m_addDetectedButton->setToolTip(ansi(t.hintAddDetected));
  // The buttons that show only a picture are named for screen readers; a language without
  // texts of its own keeps the names already given.
  const std::pair<QWidget*, const std::string*> names[] = {
      {m_refreshDetectedButton, &t.hintRefresh},
      {m_addDetectedButton, &t.hintAddDetected},
      {m_addCallingIdentityButton, &t.nameAddIdentity},
      {m_removeCallingIdentitiesButton, &t.nameRemoveIdentities},
      {m_refreshInterfacesButton, &t.nameRefreshInterfaces},
      {m_revealStrikeCodeButton, &t.nameRevealStrikeCode},
      {m_revealPasswordButton, &t.nameRevealPassword}};
  for (const auto& [control, text] : names)
    if (!text->empty()) control->setAccessibleName(ansi(*text));
  m_interfacesLabel->setText(ansi(t.lblInterfaces));
  m_interfaceCombo->setToolTip(ansi(t.hintInterface));
  m_interfaceHint->setText(ansi(t.hintInterface));
  m_apiLabel->setText(ansi(t.lblApi));
  m_loginCaption->setText(ansi(t.pnlLogin));
  m_passwordCaption->setText(ansi(t.pnlPassword));
  m_authTypeCaption->setText(ansi(t.pnlAuthType));
  m_methodCaption->setText(ansi(t.pnlMethod));
  m_strikeCodeCaption->setText(ansi(t.pnlStrikeCode));
  m_onTopCheck->setText(ansi(t.chkOnTop));
  m_autoFocusCheck->setText(ansi(t.chkAutoFocus));
  m_autoFullScreenCheck->setText(ansi(t.chkAutoFullScreen));
  m_autoSnapCheck->setText(ansi(t.chkAutoSnap));
  m_autostartCheck->setText(ansi(t.chkAutostart));
  m_sysButtonsCheck->setText(ansi(t.chkSysButtons));
  m_startMinimizedCheck->setText(ansi(t.chkStartMinimized));
  m_languageLabel->setText(ansi(t.lblLanguage));
  m_showNextWaitingCheck->setText(ansi(t.chkShowNextWaiting));
  m_snapshotFolderLabel->setText(ansi(t.lblSnapshotFolder));
  m_snapshotFolderEdit->setToolTip(ansi(t.hintSnapshotFolder));
  m_snapshotFolderEdit->setPlaceholderText(ansi(t.hintSnapshotFolder));
}

void TSettingsWindow::open() {
  if (!isVisible()) {
    fillControls();
    show();
  }
  raise();
  activateWindow();
}

void TSettingsWindow::openOnInterfaces() {
  open();
  m_tabs->setCurrentIndex(AddressesTab);
  m_interfaceCombo->setFocus();
}

void TSettingsWindow::fillControls() {
  const TAppSettings& s = m_settings;
  m_filling = true;
  m_okPressed = false;
  m_favouriteCombo->clear();
  m_interfaceCombo->clear();
  m_addressEdit->setPlainText(ansi(trimText(s.platines)));
  m_detectedEdit->clear();
  m_calledIdentityEdit->setText(ansi(s.SIPID));
  setMasked(m_strikeCodeEdit, m_revealStrikeCodeButton, true);
  setMasked(m_passwordEdit, m_revealPasswordButton, true);
  // Unsaved text in these fields outlives a Cancel.
  if (m_strikeCodeEdit->text().isEmpty())
    m_strikeCodeEdit->setText(ansi(decipherString(s.codeGache)));
  m_favouriteCheck->setChecked(s.priocheck == 1);
  m_autoSnapCheck->setChecked(s.autoSnap == 1);
  m_startMinimizedCheck->setChecked(s.startMinimized == 1);
  m_autoFullScreenCheck->setChecked(s.autoFullScreen == 1);
  m_autoFocusCheck->setChecked(s.autoFocus == 1);
  m_waitListCheck->setChecked(s.warningOnCall == 1);
  m_showNextWaitingCheck->setChecked(s.showNextWaiting == 1);
  m_journalBox->load(s);
  m_snapshotFolderEdit->setText(ansi(s.snapshotFolder));
  m_sysButtonsCheck->setChecked(s.SysButtons);
  m_onTopCheck->setChecked(s.ONTop);
  m_closeToTrayCheck->setChecked(s.closeToTray);
  m_ringCheck->setChecked(s.ring);

  for (const std::string& address : m_host.interfaceChoices())
    m_interfaceCombo->addItem(ansi(address));
  m_interfaceCombo->setCurrentIndex(m_interfaceCombo->findText(ansi(s.interfaceSelected)));

  if (!s.CallingList.empty()) {
    m_callingList->clear();
    for (const std::string& identity : splitCallingList(s.CallingList))
      m_callingList->addItem(ansi(identity));
  }
  fillFavourites(splitFields(s.platines, ';'), s.priority);
  m_autostartCheck->setChecked(m_autostart.isAutostartEnabled());

  std::string detected;
  for (const std::string& address : m_host.SniffedIPs()) detected += address + ";";
  m_detectedEdit->setText(ansi(detected));

  m_languageCombo->clear();
  for (const std::string& entry : languageEntries()) m_languageCombo->addItem(ansi(entry));
  m_languageCombo->setCurrentIndex(languageIndex(s.language));

  m_authTypeCombo->setCurrentIndex(0);
  m_methodCombo->setCurrentIndex(0);
  if (m_loginEdit->text().isEmpty()) m_loginEdit->setText(ansi(s.APIUsername));
  if (m_passwordEdit->text().isEmpty()) m_passwordEdit->setText(ansi(s.APIPassword));
  m_authTypeCombo->setCurrentIndex(std::max(0, m_authTypeCombo->findText(ansi(s.APIAuthtype))));
  m_methodCombo->setCurrentIndex(std::max(0, m_methodCombo->findText(ansi(s.APIMethod))));
  m_sslCheck->setChecked(s.APISSL);
  m_sslCheck->setEnabled(sslAvailable);
  if (!sslAvailable) m_sslCheck->setChecked(false);

  applySettingsWindowTexts();
  m_tabs->setCurrentIndex(CallTab);
  m_filling = false;
  onStrikeCodeEdited();
  m_savedView = closeView();
}

void TSettingsWindow::fillFavourites(const std::vector<std::string>& entries, int index) {
  const bool wasFilling = m_filling;
  m_filling = true;
  m_favouriteCombo->clear();
  for (const std::string& entry : entries) m_favouriteCombo->addItem(ansi(entry));
  m_favouriteCombo->setCurrentIndex(index >= 0 && index < m_favouriteCombo->count() ? index : -1);
  m_favouriteText = ansiOf(m_favouriteCombo->currentText());
  m_filling = wasFilling;
}

void TSettingsWindow::setMasked(QLineEdit* field, QToolButton* button, bool masked) {
  field->setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
  button->setIcon(QIcon(drawIcon(masked ? EIcon::Eye : EIcon::EyeCrossed, 16, 16)));
}

void TSettingsWindow::onRevealStrikeCodeClicked() {
  setMasked(m_strikeCodeEdit, m_revealStrikeCodeButton,
            m_strikeCodeEdit->echoMode() != QLineEdit::Password);
}

void TSettingsWindow::onRevealPasswordClicked() {
  setMasked(m_passwordEdit, m_revealPasswordButton,
            m_passwordEdit->echoMode() != QLineEdit::Password);
}

std::string TSettingsWindow::strikeCode() const { return ansiOf(m_strikeCodeEdit->text()); }

void TSettingsWindow::onStrikeCodeEdited() {
  m_strikeCodeCaption->setStyleSheet(isStrikeCodeValid(strikeCode()) ? QString()
                                                                     : "QLabel { color: red; }");
}

TSettingsForm TSettingsWindow::readForm() const {
  TSettingsForm form;
  form.addressText = ansiOf(m_addressEdit->toPlainText());
  form.favouriteText = ansiOf(m_favouriteCombo->currentText());
  form.favourite = m_favouriteCheck->isChecked();
  form.autoSnap = m_autoSnapCheck->isChecked();
  form.startMinimized = m_startMinimizedCheck->isChecked();
  form.autoFullScreen = m_autoFullScreenCheck->isChecked();
  form.autoFocus = m_autoFocusCheck->isChecked();
  form.waitList = m_waitListCheck->isChecked();
  form.showNextWaiting = m_showNextWaitingCheck->isChecked();
  m_journalBox->store(form);
  form.snapshotFolder = ansiOf(m_snapshotFolderEdit->text().trimmed());
  form.closeToTray = m_closeToTrayCheck->isChecked();
  form.ring = m_ringCheck->isChecked();
  form.onTop = m_onTopCheck->isChecked();
  form.sysButtons = m_sysButtonsCheck->isChecked();
  form.autostart = m_autostartCheck->isChecked();
  form.interfaceText = ansiOf(m_interfaceCombo->currentText());
  form.strikeCode = strikeCode();
  form.login = ansiOf(m_loginEdit->text());
  form.password = ansiOf(m_passwordEdit->text());
  for (int i = 0; i < m_callingList->count(); ++i)
    form.callingIdentities.push_back(ansiOf(m_callingList->item(i)->text()));
  form.ssl = m_sslCheck->isChecked();
  form.authIndex = m_authTypeCombo->currentIndex();
  form.methodIndex = m_methodCombo->currentIndex();
  form.languageText = ansiOf(m_languageCombo->currentText());
  form.calledIdentity = ansiOf(m_calledIdentityEdit->text());
  return form;
}

// True when the settings were saved.
bool TSettingsWindow::applyNow() {
  if (!isStrikeCodeValid(strikeCode())) {
    m_tabs->setCurrentIndex(ApiTab);
    m_dialogs.message(UiTexts.msgBadStrikeCode, EDialogIcon::Error);
    return false;
  }
  const TApplyResult result = m_applier.apply(readForm());
  fillFavourites(result.favouriteEntries, result.favouriteIndex);
  m_addressEdit->setPlainText(ansi(result.addressText));
  applySettingsWindowTexts();
  if (result.outcome != EApplyOutcome::Saved) return false;
  // What is stored now is what a later close compares with.
  m_savedView = closeView();
  return true;
}

void TSettingsWindow::onApplyClicked() { applyNow(); }

void TSettingsWindow::onOkClicked() {
  const bool valid = isStrikeCodeValid(strikeCode());
  if (valid) m_okPressed = true;
  applyNow();
  if (valid) close();
}

void TSettingsWindow::onCancelClicked() {
  if (!isStrikeCodeValid(strikeCode()))
    m_strikeCodeEdit->setText(ansi(decipherString(m_settings.codeGache)));
  close();
}

void TSettingsWindow::onAddCallingIdentity() {
  std::vector<std::string> list;
  for (int i = 0; i < m_callingList->count(); ++i)
    list.push_back(ansiOf(m_callingList->item(i)->text()));
  if (auto identity = callingIdentityToAdd(ansiOf(m_callingIdentityEdit->text()), list)) {
    m_callingList->addItem(ansi(*identity));
    m_callingIdentityEdit->clear();
  }
}

void TSettingsWindow::onRemoveCallingIdentities() {
  for (QListWidgetItem* item : m_callingList->selectedItems()) delete item;
}

void TSettingsWindow::onCallingIdentityDoubleClicked() {
  QListWidgetItem* item = m_callingList->currentItem();
  if (item == nullptr) return;
  if (auto text = m_dialogs.inputBox("Edit", UiTexts.pnlCallingIdentity, ansiOf(item->text())))
    item->setText(ansi(*text));
}

void TSettingsWindow::onRefreshDetectedClicked() {
  m_host.BCast();
  std::string detected;
  for (const std::string& address : m_host.SniffedIPs()) detected += address + ";";
  m_detectedEdit->setText(ansi(trimText(detected)));
}

void TSettingsWindow::onAddDetectedClicked() {
  const std::vector<std::string> entries =
      mergeDetectedAddresses(m_settings.platines, ansiOf(m_detectedEdit->text()));
  std::string text;
  for (const std::string& entry : entries) text += entry + ";";
  m_addressEdit->setPlainText(ansi(text));
  fillFavourites(entries, m_settings.priority);
}

void TSettingsWindow::onRefreshInterfacesClicked() {
  m_filling = true;
  m_interfaceCombo->clear();
  m_host.refreshInterfaces();
  for (const std::string& address : m_host.interfaceChoices())
    m_interfaceCombo->addItem(ansi(address));
  m_interfaceCombo->setCurrentIndex(-1);
  m_filling = false;
  // The running program has no interface now, whatever the user does next.
  m_savedView.interfaceText.clear();
}

void TSettingsWindow::onInterfaceChosen() {
  if (m_filling) return;
  if (m_dialogs.message(UiTexts.msgRestart, EDialogIcon::Question, EDialogButtons::YesNo) !=
      EDialogResult::Yes)
    return;
  // A refused or failed Apply keeps this copy running: a new one would start with the old
  // interface and the user's edits would be lost.
  if (applyNow()) m_host.restartProgram();
}

TSettingsWindow::TCloseView TSettingsWindow::closeView() const {
  TCloseView view;
  view.addresses = ansiOf(m_addressEdit->toPlainText());
  view.favourite = ansiOf(m_favouriteCombo->currentText());
  view.interfaceText = ansiOf(m_interfaceCombo->currentText());
  view.calledIdentity = ansiOf(m_calledIdentityEdit->text());
  view.switches = {m_favouriteCheck->isChecked(),
                   m_autoSnapCheck->isChecked(),
                   m_autoFullScreenCheck->isChecked(),
                   m_startMinimizedCheck->isChecked(),
                   m_autoFocusCheck->isChecked(),
                   m_waitListCheck->isChecked(),
                   m_autostartCheck->isChecked(),
                   m_closeToTrayCheck->isChecked(),
                   m_ringCheck->isChecked()};
  return view;
}

void TSettingsWindow::closeEvent(QCloseEvent* event) {
  if (m_okPressed || closeView() == m_savedView) {
    event->accept();
    return;
  }
  switch (m_dialogs.message(kChangesQuestion, EDialogIcon::Warning, EDialogButtons::YesNoCancel)) {
    case EDialogResult::No:
      event->accept();
      return;
    case EDialogResult::Yes:
      // Ok closes the window itself once this close has been turned down.
      QMetaObject::invokeMethod(this, &TSettingsWindow::onOkClicked, Qt::QueuedConnection);
      [[fallthrough]];
    default:
      event->ignore();
  }
}

void TSettingsWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    onCancelClicked();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool TSettingsWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress) {
    if (watched == m_calledIdentityCaption) m_calledIdentityEdit->setFocus();
    if (watched == m_callingIdentityCaption) m_callingIdentityEdit->setFocus();
  }
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    const bool isReturn = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (isReturn && watched == m_callingIdentityEdit) {
      onAddCallingIdentity();
      return true;
    }
    // Addresses are separated by ";", never by lines.
    if (isReturn && watched == m_addressEdit) return true;
  }
  return QWidget::eventFilter(watched, event);
}
