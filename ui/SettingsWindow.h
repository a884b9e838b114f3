#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QWidget>
#include <array>
#include <string>

#include "core/SettingsApply.h"
#include "ui/JournalSettingsBox.h"

// The settings window: shows the settings record on five tabs, lets the user edit them and
// applies them through TSettingsApplier. Created hidden at start and only shown and hidden
// afterwards; every opening fills it again from the record.
// UI thread only. The record, store, autostart, host and dialogs are borrowed and must outlive
// the window.
class TSettingsWindow : public QWidget {
  Q_OBJECT
 public:
  enum ETab { CallTab = 0, AddressesTab = 1, ApiTab = 2, PreferencesTab = 3, NotificationsTab = 4 };

  TSettingsWindow(TAppSettings& settings, TSettingsStore& store, TAutostart& autostart,
                  ISettingsHost& host, IDialogs& dialogs, QWidget* parent = nullptr);

  // Fills every control from the settings and shows the window, or brings it to the front when
  // it is already shown.
  void open();
  // open() on the network interfaces list, for a user who has to choose one.
  void openOnInterfaces();
  // The captions and hints in the language now loaded.
  void applySettingsWindowTexts();
  // Without a tray "close to tray" cannot work: the tab says so and the switch is greyed.
  void setTrayAvailable(bool available);
  // The "Notifications" tab's page, where later notification settings find their place (its
  // controls are laid out from the top, one row of 24 pixels each).
  QWidget* notificationsPage() const { return m_notificationsPage; }

  // The commands, public so that the main window's tests and the benchmark can reach them.
  void onApplyClicked();
  void onOkClicked();
  void onCancelClicked();
  void onAddCallingIdentity();
  void onRemoveCallingIdentities();
  void onCallingIdentityDoubleClicked();
  void onRefreshDetectedClicked();
  void onAddDetectedClicked();
  void onRefreshInterfacesClicked();
  void onRevealStrikeCodeClicked();
  void onRevealPasswordClicked();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // What the close-time question compares: what the user sees of the addresses, the
  // favourite, the interface, the called identity and the nine switches.
  struct TCloseView {
    std::string addresses, favourite, interfaceText, calledIdentity;
    std::array<bool, 9> switches{};
    bool operator==(const TCloseView&) const = default;
  };

  void buildCallTab();
  void buildAddressesTab();
  void buildApiTab();
  void buildPreferencesTab();
  void buildNotificationsTab();
  void fillControls();
  bool applyNow();
  TSettingsForm readForm() const;
  TCloseView closeView() const;
  void onInterfaceChosen();
  void onStrikeCodeEdited();
  void setMasked(QLineEdit* field, QToolButton* button, bool masked);
  void fillFavourites(const std::vector<std::string>& entries, int index);
  std::string strikeCode() const;

  TAppSettings& m_settings;
  TSettingsStore& m_store;
  TAutostart& m_autostart;
  ISettingsHost& m_host;
  IDialogs& m_dialogs;
  TSettingsApplier m_applier;

  bool m_okPressed = false;
  bool m_filling = false;
  std::string m_favouriteText;
  TCloseView m_savedView;

  QTabWidget* m_tabs = nullptr;
  // Call settings.
  QLabel* m_calledIdentityLabel = nullptr;
  QLabel* m_calledIdentityCaption = nullptr;
  QLineEdit* m_calledIdentityEdit = nullptr;
  QLabel* m_callingIdentitiesLabel = nullptr;
  QLabel* m_callingIdentityCaption = nullptr;
  QToolButton* m_addCallingIdentityButton = nullptr;
  QLineEdit* m_callingIdentityEdit = nullptr;
  QListWidget* m_callingList = nullptr;
  QToolButton* m_removeCallingIdentitiesButton = nullptr;
  QCheckBox* m_waitListCheck = nullptr;
  QCheckBox* m_showNextWaitingCheck = nullptr;
  TJournalSettingsBox* m_journalBox = nullptr;
  // Addresses.
  QComboBox* m_favouriteCombo = nullptr;
  QCheckBox* m_favouriteCheck = nullptr;
  QLabel* m_addressesLabel = nullptr;
  QPlainTextEdit* m_addressEdit = nullptr;
  QLabel* m_detectedLabel = nullptr;
  QToolButton* m_refreshDetectedButton = nullptr;
  QToolButton* m_addDetectedButton = nullptr;
  QLineEdit* m_detectedEdit = nullptr;
  QLabel* m_interfacesLabel = nullptr;
  QComboBox* m_interfaceCombo = nullptr;
  QToolButton* m_refreshInterfacesButton = nullptr;
  QLabel* m_interfaceHint = nullptr;
  // API.
  QLabel* m_apiLabel = nullptr;
  QLabel* m_loginCaption = nullptr;
  QLineEdit* m_loginEdit = nullptr;
  QLabel* m_passwordCaption = nullptr;
  QToolButton* m_revealPasswordButton = nullptr;
  QLineEdit* m_passwordEdit = nullptr;
  QLabel* m_authTypeCaption = nullptr;
  QComboBox* m_authTypeCombo = nullptr;
  QLabel* m_methodCaption = nullptr;
  QComboBox* m_methodCombo = nullptr;
  QCheckBox* m_sslCheck = nullptr;
  QLabel* m_strikeCodeCaption = nullptr;
  QToolButton* m_revealStrikeCodeButton = nullptr;
  QLineEdit* m_strikeCodeEdit = nullptr;
  // Preferences.
  QCheckBox* m_onTopCheck = nullptr;
  QCheckBox* m_autoFocusCheck = nullptr;
  QCheckBox* m_autoFullScreenCheck = nullptr;
  QCheckBox* m_autoSnapCheck = nullptr;
  QCheckBox* m_autostartCheck = nullptr;
  QCheckBox* m_sysButtonsCheck = nullptr;
  QCheckBox* m_startMinimizedCheck = nullptr;
  QLabel* m_languageLabel = nullptr;
  QComboBox* m_languageCombo = nullptr;
  QLabel* m_snapshotFolderLabel = nullptr;
  QLineEdit* m_snapshotFolderEdit = nullptr;
  // Notifications.
  QWidget* m_notificationsPage = nullptr;
  QCheckBox* m_closeToTrayCheck = nullptr;
  QLabel* m_noTrayLabel = nullptr;
  QCheckBox* m_ringCheck = nullptr;
  bool m_trayAvailable = true;
  // Below the tabs.
  QPushButton* m_okButton = nullptr;
  QPushButton* m_applyButton = nullptr;
  QPushButton* m_cancelButton = nullptr;
};
