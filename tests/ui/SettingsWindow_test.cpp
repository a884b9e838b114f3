// The settings window driven like a user under the offscreen platform, with the real store.
#include "ui/SettingsWindow.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QToolButton>
#include <cstdlib>

#include "base/Text.h"
#include "base/Vigenere.h"
#include "core/UiTexts.h"
#include "platform/RegStore.h"
#include "tests/support/SettingsFixture.h"

namespace {

const std::string kChangesQuestion =
    "Des modifications ont \xE9t\xE9 d\xE9tect\xE9"
    "es.\nVoulez-vous les enregistrer?";

class SettingsWindowTest : public ::testing::Test, public TSettingsFixture {
 protected:
  void SetUp() override {
    ensureQtApplication();
    settings.language = "EN";
    setLanguage("EN");
    host.choices = {"10.0.0.1", "10.0.0.2"};
    settings.interfaceSelected = "10.0.0.1";
  }
  void TearDown() override { setLanguage("FR"); }

  TSettingsWindow& window() {
    if (!m_window)
      m_window = std::make_unique<TSettingsWindow>(settings, store, autostart, host, dialogs);
    return *m_window;
  }
  TSettingsWindow& opened() {
    window().open();
    return window();
  }
  template <typename T>
  T* find(const char* name) {
    T* widget = window().findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  std::optional<std::string> stored(const std::string& name) const {
    TRegStore reg(storePath);
    if (!reg.open()) return std::nullopt;
    return reg.readString(name);
  }
  std::optional<std::uint32_t> storedNumber(const std::string& name) const {
    TRegStore reg(storePath);
    if (!reg.open()) return std::nullopt;
    return reg.readDword(name);
  }
  void setAddresses(const QString& text) {
    find<QPlainTextEdit>("addressEdit")->setPlainText(text);
  }
  void click(const char* name) { find<QAbstractButton>(name)->click(); }
  static void press(QWidget* target, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
  }

  std::unique_ptr<TSettingsWindow> m_window;
};

TEST_F(SettingsWindowTest, OpeningFillsEveryTabFromTheSettings) {
  settings.platines = "10.0.0.5;10.0.0.6";
  settings.priority = 1;
  settings.SIPID = "desk@sip";
  settings.CallingList = "101@door;\"door two@lan\"";
  settings.codeGache = cipherString("42");
  settings.APIPassword = "pw";
  settings.APIAuthtype = "Digest";
  settings.APIMethod = "POST";
  settings.autoSnap = 1;
  settings.autoFocus = 2;  // only 1 counts as on
  host.sniffed = {"10.0.0.7", "10.0.0.8"};
  opened();
  EXPECT_EQ(find<QTabWidget>("tabs")->currentIndex(), 0);
  EXPECT_EQ(find<QTabWidget>("tabs")->tabText(1), "Priority address");
  EXPECT_EQ(find<QLineEdit>("calledIdentityEdit")->text(), "desk@sip");
  EXPECT_EQ(find<QListWidget>("callingList")->count(), 2);
  EXPECT_EQ(find<QListWidget>("callingList")->item(1)->text(), "door two@lan");
  EXPECT_EQ(find<QComboBox>("favouriteCombo")->currentText(), "10.0.0.6");
  EXPECT_EQ(find<QLineEdit>("detectedEdit")->text(), "10.0.0.7;10.0.0.8;");
  EXPECT_EQ(find<QComboBox>("interfaceCombo")->currentText(), "10.0.0.1");
  EXPECT_EQ(find<QComboBox>("authTypeCombo")->currentText(), "Digest");
  EXPECT_EQ(find<QComboBox>("methodCombo")->currentText(), "POST");
  EXPECT_EQ(find<QLineEdit>("strikeCodeEdit")->text(), "42");
  EXPECT_EQ(find<QLineEdit>("strikeCodeEdit")->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(find<QCheckBox>("autoSnapCheck")->isChecked());
  EXPECT_FALSE(find<QCheckBox>("autoFocusCheck")->isChecked());
  EXPECT_EQ(find<QComboBox>("languageCombo")->currentText(), "English");
  EXPECT_EQ(window().size(), QSize(417, 321));
}

// The address example: blanks and the line break go, the 3-part and 1-part entries are dropped.
TEST_F(SettingsWindowTest, ApplyStoresTheNormalisedAddressesAndTheFirstAddressAsFavourite) {
  opened();
  setAddresses("192.168.1.10; 192.168.1.11\n;10.0.0;abc");
  click("applyButton");
  EXPECT_EQ(stored("platines"), "192.168.1.10;192.168.1.11");
  EXPECT_EQ(find<QPlainTextEdit>("addressEdit")->toPlainText(), "192.168.1.10;192.168.1.11");
  // First configuration: nothing was the favourite, so the first address is.
  EXPECT_EQ(storedNumber("priority"), 0u);
  EXPECT_EQ(find<QComboBox>("favouriteCombo")->currentText(), "192.168.1.10");
  find<QComboBox>("favouriteCombo")->setCurrentIndex(1);
  click("applyButton");
  EXPECT_EQ(storedNumber("priority"), 1u);
  EXPECT_EQ(settings.priority, 1);
}

TEST_F(SettingsWindowTest, UnknownLanguageShowsNoSelectionAndApplyStoresFrench) {
  settings.language = "DE";
  opened();
  EXPECT_EQ(find<QComboBox>("languageCombo")->currentIndex(), -1);
  click("applyButton");
  EXPECT_EQ(stored("language"), "FR");
  EXPECT_EQ(find<QPushButton>("applyButton")->text(), "Appliquer");
}

TEST_F(SettingsWindowTest, TheSampleIdentityIsNeverStoredNorTakenForAChange) {
  opened();
  EXPECT_FALSE(find<QLineEdit>("calledIdentityEdit")->placeholderText().isEmpty());
  window().close();
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_FALSE(window().isVisible());
  opened();
  click("applyButton");
  EXPECT_EQ(stored("SIPID"), "");
}

TEST_F(SettingsWindowTest, AddingIdentitiesRemovesSemicolonsAndSkipsCaseOnlyDuplicates) {
  opened();
  auto* entry = find<QLineEdit>("callingIdentityEdit");
  entry->setText("10;1@door.lan");
  press(entry, Qt::Key_Return);
  entry->setText("101@DOOR.lan");
  click("addCallingIdentityButton");
  auto* list = find<QListWidget>("callingList");
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), "101@door.lan");
  EXPECT_EQ(entry->text(), "101@DOOR.lan");  // a duplicate leaves the field as typed

  dialogs.typed.push_back("102@door.lan");
  list->setCurrentRow(0);
  window().onCallingIdentityDoubleClicked();
  ASSERT_EQ(dialogs.inputs.size(), 1u);
  EXPECT_EQ(dialogs.inputs[0].title, "Edit");
  EXPECT_EQ(dialogs.inputs[0].prompt, "Calling SIP identity");
  EXPECT_EQ(list->item(0)->text(), "102@door.lan");
  list->item(0)->setSelected(true);
  click("removeCallingIdentitiesButton");
  EXPECT_EQ(list->count(), 0);
}

TEST_F(SettingsWindowTest, RevealedFieldsAreMaskedAgainAtTheNextOpening) {
  settings.APIPassword = "pw";
  opened();
  click("revealPasswordButton");
  click("revealStrikeCodeButton");
  EXPECT_EQ(find<QLineEdit>("passwordEdit")->echoMode(), QLineEdit::Normal);
  window().close();
  opened();
  EXPECT_EQ(find<QLineEdit>("passwordEdit")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(find<QLineEdit>("strikeCodeEdit")->echoMode(), QLineEdit::Password);
}

TEST_F(SettingsWindowTest, OkWithAValidCodeSavesAndClosesWithoutTheQuestion) {
  opened();
  setAddresses("10.0.0.5");
  find<QCheckBox>("autoSnapCheck")->setChecked(true);
  click("okButton");
  EXPECT_FALSE(window().isVisible());
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(stored("platines"), "10.0.0.5");
}

TEST_F(SettingsWindowTest, AnInvalidStrikeCodeIsRedAndRefusedOnTheApiTabAndCancelPutsTheCodeBack) {
  settings.codeGache = cipherString("12");
  opened();
  find<QLineEdit>("strikeCodeEdit")->setText("1x");
  EXPECT_TRUE(find<QLabel>("strikeCodeCaption")->styleSheet().contains("red"));
  for (const char* button : {"applyButton", "okButton"}) {
    dialogs.shown.clear();
    find<QTabWidget>("tabs")->setCurrentIndex(0);
    click(button);
    EXPECT_EQ(find<QTabWidget>("tabs")->currentIndex(), 2) << button;
    ASSERT_EQ(dialogs.shown.size(), 1u) << button;
    EXPECT_EQ(dialogs.shown[0].text, UiTexts.msgBadStrikeCode);
    EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::Error);
    EXPECT_TRUE(window().isVisible()) << button;
  }
  EXPECT_FALSE(stored("codeGache"));
  click("cancelButton");
  EXPECT_EQ(find<QLineEdit>("strikeCodeEdit")->text(), "12");
  EXPECT_FALSE(find<QLabel>("strikeCodeCaption")->styleSheet().contains("red"));
  EXPECT_FALSE(window().isVisible());
}

struct TInterfaceCase {
  const char* why;
  EDialogResult answer;
  const char* strikeCode;
  int restarts;
  std::optional<std::string> storedInterface;
};

class InterfaceChange : public SettingsWindowTest,
                        public ::testing::WithParamInterface<TInterfaceCase> {};

TEST_P(InterfaceChange, AsksToRestartAndOnYesAppliesThenRestarts) {
  const TInterfaceCase& c = GetParam();
  opened();
  find<QLineEdit>("strikeCodeEdit")->setText(c.strikeCode);
  dialogs.answers.push_back(c.answer);
  find<QComboBox>("interfaceCombo")->setCurrentIndex(1);
  ASSERT_GE(dialogs.shown.size(), 1u) << c.why;
  EXPECT_EQ(dialogs.shown[0].text, UiTexts.msgRestart);
  EXPECT_EQ(dialogs.shown[0].buttons, EDialogButtons::YesNo);
  EXPECT_EQ(host.restarts, c.restarts) << c.why;
  EXPECT_EQ(stored("interfaceSelected"), c.storedInterface) << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InterfaceChange,
    ::testing::Values(TInterfaceCase{"Yes saves the new interface and restarts", EDialogResult::Yes,
                                     "1", 1, "10.0.0.2"},
                      TInterfaceCase{"No keeps everything for the next Apply", EDialogResult::No,
                                     "1", 0, std::nullopt},
                      TInterfaceCase{"a refused Apply does not restart into the old settings",
                                     EDialogResult::Yes, "x", 0, std::nullopt}));

TEST_F(SettingsWindowTest, RefreshingInterfacesForgetsTheChoiceWithoutAskingToRestart) {
  host.choicesAfterRefresh = {"10.0.0.3"};
  opened();
  click("refreshInterfacesButton");
  EXPECT_EQ(host.refreshes, 1);
  auto* combo = find<QComboBox>("interfaceCombo");
  EXPECT_EQ(combo->count(), 1);
  EXPECT_EQ(combo->currentIndex(), -1);
  window().close();
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SettingsWindowTest, DetectedAddressesAreRefreshedAndAddedToTheStoredOnes) {
  settings.platines = "10.0.0.5";
  opened();
  setAddresses("unsaved edit");
  host.sniffed = {"10.0.0.5", "10.0.0.9"};
  click("refreshDetectedButton");
  EXPECT_EQ(host.bcasts, 1);
  EXPECT_EQ(find<QLineEdit>("detectedEdit")->text(), "10.0.0.5;10.0.0.9;");
  click("addDetectedButton");
  EXPECT_EQ(find<QPlainTextEdit>("addressEdit")->toPlainText(), "10.0.0.5;10.0.0.9;");
  EXPECT_EQ(find<QComboBox>("favouriteCombo")->count(), 2);
  click("applyButton");
  EXPECT_EQ(stored("platines"), "10.0.0.5;10.0.0.9");
}

struct TCloseCase {
  const char* why;
  EDialogResult answer;
  bool visibleAfter;
  std::optional<std::string> storedAddresses;
};

class CloseQuestion : public SettingsWindowTest,
                      public ::testing::WithParamInterface<TCloseCase> {};

TEST_P(CloseQuestion, UnsavedChangesAskBeforeClosing) {
  const TCloseCase& c = GetParam();
  opened();
  setAddresses("10.0.0.5");
  dialogs.answers.push_back(c.answer);
  press(&window(), Qt::Key_Escape);
  ASSERT_EQ(dialogs.shown.size(), 1u) << c.why;
  EXPECT_EQ(dialogs.shown[0].text, kChangesQuestion);
  EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::Warning);
  EXPECT_EQ(dialogs.shown[0].buttons, EDialogButtons::YesNoCancel);
  // Yes runs Ok once the close has been turned down.
  pumpEvents(std::chrono::milliseconds(50));
  EXPECT_EQ(window().isVisible(), c.visibleAfter) << c.why;
  EXPECT_EQ(stored("platines"), c.storedAddresses) << c.why;
  EXPECT_EQ(dialogs.shown.size(), 1u) << c.why;
}

INSTANTIATE_TEST_SUITE_P(Cases, CloseQuestion,
                         ::testing::Values(TCloseCase{"Yes saves and closes", EDialogResult::Yes,
                                                      false, "10.0.0.5"},
                                           TCloseCase{"No closes without saving", EDialogResult::No,
                                                      false, std::nullopt},
                                           TCloseCase{"Cancel keeps the window open",
                                                      EDialogResult::Cancel, true, std::nullopt}));

// After Apply the stored values are what the window shows: closing asks nothing.
TEST_F(SettingsWindowTest, ClosingAfterApplyAsksNothing) {
  opened();
  setAddresses("10.0.0.5");
  find<QCheckBox>("waitListCheck")->setChecked(true);
  click("applyButton");
  window().close();
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_FALSE(window().isVisible());
}

TEST_F(SettingsWindowTest, ALanguageChangeShowsAtOnceInTheWindowAndTheMainWindow) {
  opened();
  find<QComboBox>("languageCombo")->setCurrentIndex(0);
  click("applyButton");
  EXPECT_EQ(find<QTabWidget>("tabs")->tabText(0),
            QString::fromStdString(cp1252ToUtf8("Param\xE8tres d'appel")));
  EXPECT_EQ(host.mainTexts, 1);
  EXPECT_EQ(settings.language, "FR");
}

// Tab walks each page as it reads, top to bottom and left to right, and then the window's
// buttons from left to right.
TEST_F(SettingsWindowTest, TabFollowsTheLayout) {
  TSettingsWindow& form = opened();
  std::vector<QWidget*> chain;
  QWidget* at = &form;
  do {
    if ((at->focusPolicy() & Qt::TabFocus) != 0) chain.push_back(at);
    at = at->nextInFocusChain();
  } while (at != &form);

  auto* tabs = find<QTabWidget>("tabs");
  for (int page = 0; page < tabs->count(); ++page) {
    std::vector<QWidget*> onPage;
    for (QWidget* widget : chain)
      if (tabs->widget(page)->isAncestorOf(widget)) onPage.push_back(widget);
    ASSERT_GE(onPage.size(), 2u) << page;  // the notifications page has two switches
    for (std::size_t i = 1; i < onPage.size(); ++i) {
      const QPoint before = onPage[i - 1]->mapTo(tabs, QPoint(0, 0));
      const QPoint after = onPage[i]->mapTo(tabs, QPoint(0, 0));
      const bool sameRow = std::abs(before.y() - after.y()) <= 4;
      EXPECT_TRUE(sameRow ? before.x() < after.x() : before.y() < after.y())
          << "page " << page << ": " << onPage[i - 1]->objectName().toStdString() << " before "
          << onPage[i]->objectName().toStdString();
    }
  }
  std::vector<std::string> buttons;
  for (QWidget* widget : chain)
    if (qobject_cast<QPushButton*>(widget) != nullptr && widget->parentWidget() == &form)
      buttons.push_back(widget->objectName().toStdString());
  EXPECT_EQ(buttons, (std::vector<std::string>{"okButton", "applyButton", "cancelButton"}));
}

// The buttons that show only a picture have a name a screen reader can say, in the language.
TEST_F(SettingsWindowTest, PictureButtonsAreNamed) {
  TSettingsWindow& form = opened();
  std::vector<QToolButton*> buttons;
  for (QToolButton* button : form.findChildren<QToolButton*>())
    if (qobject_cast<QTabBar*>(button->parentWidget()) == nullptr) buttons.push_back(button);
  ASSERT_EQ(buttons.size(), 7u) << "the tab bar's own arrows aside";
  for (QToolButton* button : buttons)
    EXPECT_FALSE(button->accessibleName().isEmpty()) << button->objectName().toStdString();
  EXPECT_EQ(find<QToolButton>("revealPasswordButton")->accessibleName(),
            "Show or hide the password");
}

}  // namespace

namespace {

// The two later settings go through the window like the others: shown, applied, stored.
TEST_F(SettingsWindowTest, NextWaitingCallerAndSnapshotFolderAreShownAppliedAndStored) {
  settings.showNextWaiting = 1;
  settings.snapshotFolder = "/srv/photos";
  opened();
  EXPECT_TRUE(find<QCheckBox>("showNextWaitingCheck")->isChecked());
  EXPECT_EQ(find<QLineEdit>("snapshotFolderEdit")->text(), "/srv/photos");
  EXPECT_EQ(find<QCheckBox>("showNextWaitingCheck")->text(),
            "When a call ends, show the next waiting caller");
  find<QCheckBox>("showNextWaitingCheck")->setChecked(false);
  find<QLineEdit>("snapshotFolderEdit")->setText("  /home/desk/Porte  ");
  click("applyButton");
  EXPECT_EQ(settings.showNextWaiting, 0);
  EXPECT_EQ(settings.snapshotFolder, "/home/desk/Porte");
  EXPECT_EQ(storedNumber("showNextWaiting"), 0u);
  EXPECT_EQ(stored("snapshotFolder"), "/home/desk/Porte");
}

// The notification switches live on their own tab, are applied and stored, and count as
// changes when the window is closed.
TEST_F(SettingsWindowTest, NotificationSwitchesAreShownAppliedStoredAndAskedAboutOnClose) {
  settings.closeToTray = true;
  settings.ring = false;
  opened();
  EXPECT_EQ(find<QTabWidget>("tabs")->tabText(TSettingsWindow::NotificationsTab), "Notifications");
  EXPECT_EQ(find<QCheckBox>("closeToTrayCheck")->parentWidget(), window().notificationsPage());
  EXPECT_TRUE(find<QCheckBox>("closeToTrayCheck")->isChecked());
  EXPECT_FALSE(find<QCheckBox>("ringCheck")->isChecked());
  find<QCheckBox>("closeToTrayCheck")->setChecked(false);
  find<QCheckBox>("ringCheck")->setChecked(true);
  click("applyButton");
  EXPECT_FALSE(settings.closeToTray);
  EXPECT_TRUE(settings.ring);
  EXPECT_EQ(storedNumber("closeToTray"), 0u);
  EXPECT_EQ(storedNumber("ring"), 1u);

  find<QCheckBox>("ringCheck")->setChecked(false);
  dialogs.answers.push_back(EDialogResult::No);
  window().close();
  ASSERT_EQ(dialogs.shown.size(), 1u) << "an edited switch asks before closing";
  EXPECT_EQ(dialogs.shown[0].text, kChangesQuestion);
}

// Without a tray the switch cannot work: it is greyed and the tab says why.
TEST_F(SettingsWindowTest, WithoutATrayCloseToTrayIsGreyedAndExplained) {
  opened();
  window().setTrayAvailable(false);
  EXPECT_FALSE(find<QCheckBox>("closeToTrayCheck")->isEnabled());
  EXPECT_FALSE(find<QLabel>("noTrayLabel")->isHidden());
  EXPECT_EQ(find<QLabel>("noTrayLabel")->text(),
            "This desktop has no tray: closing the window quits the program.");
  window().setTrayAvailable(true);
  EXPECT_TRUE(find<QCheckBox>("closeToTrayCheck")->isEnabled());
  EXPECT_TRUE(find<QLabel>("noTrayLabel")->isHidden());
}

// The journal's limits: shown, applied and stored under their own names; the spin boxes never
// let a 0 through, which would empty the journal at every start.
TEST_F(SettingsWindowTest, JournalLimitsAreShownAppliedAndStored) {
  settings.journalDays = 30;
  settings.journalMaxMB = 200;
  opened();
  auto* days = find<QSpinBox>("journalDaysSpin");
  auto* megabytes = find<QSpinBox>("journalMaxMBSpin");
  EXPECT_EQ(days->value(), 30);
  EXPECT_EQ(megabytes->value(), 200);
  EXPECT_EQ(find<QTabWidget>("tabs")->tabText(TSettingsWindow::NotificationsTab), "Notifications");
  days->setValue(0);
  megabytes->setValue(1000);
  click("applyButton");
  EXPECT_EQ(settings.journalDays, 1);
  EXPECT_EQ(settings.journalMaxMB, 1000);
  EXPECT_EQ(storedNumber("journalDays"), 1u);
  EXPECT_EQ(storedNumber("journalMaxMB"), 1000u);
}

// After the several-interfaces message the window opens where the choice is made.
TEST_F(SettingsWindowTest, OpeningOnInterfacesShowsTheirList) {
  window().openOnInterfaces();
  EXPECT_TRUE(window().isVisible());
  EXPECT_EQ(find<QTabWidget>("tabs")->currentIndex(), TSettingsWindow::AddressesTab);
  EXPECT_EQ(find<QComboBox>("interfaceCombo")->count(), 2);
}

}  // namespace
