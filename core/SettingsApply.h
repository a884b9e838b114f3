#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/AppSettings.h"
#include "core/Autostart.h"
#include "core/SettingsHost.h"
#include "core/SettingsStore.h"
#include "platform/Dialogs.h"

// What the settings window's controls hold when the user applies them. Texts are
// Windows-1252.
struct TSettingsForm {
  std::string addressText;
  std::string favouriteText;  // the favourite drop-down's selected text, "" when none
  bool favourite = false, autoSnap = false, startMinimized = false, autoFullScreen = false,
       autoFocus = false, waitList = false, onTop = false, sysButtons = false, autostart = false;
  std::string interfaceText;  // "" when nothing is selected
  std::string strikeCode;     // in clear
  std::string login, password;
  std::vector<std::string> callingIdentities;
  bool ssl = false;
  int authIndex = -1;    // None, Basic, Digest; -1 when nothing is selected
  int methodIndex = -1;  // GET, POST
  std::string languageText;
  std::string calledIdentity;  // "" while the field shows only its sample
  bool showNextWaiting = true;
  std::string snapshotFolder;  // "" for the default folder
  bool closeToTray = true, ring = true;
  int journalDays = TAppSettings::DefaultJournalDays;
  int journalMaxMB = TAppSettings::DefaultJournalMaxMB;
};

enum class EApplyOutcome { BadStrikeCode, Saved, NotSaved };

struct TApplyResult {
  EApplyOutcome outcome = EApplyOutcome::BadStrikeCode;
  // The address field and the favourite drop-down after Apply (unset when refused).
  std::string addressText;
  std::vector<std::string> favouriteEntries;
  int favouriteIndex = 0;
};

// The settings window's Apply without the window: autostart, the settings record, the store and
// the side effects on the main window. A strike code that is not digits only refuses the whole
// Apply and changes nothing (the window tells the user). A store that cannot be opened or
// written leaves the record's saved values as they were; a write that fails is shown in one
// error box with its reason. The addresses, the favourite and the switches are taken in every
// case, and the texts of the language then in use are put on the main window.
// Everything given is borrowed and must outlive this object. UI thread only.
class TSettingsApplier {
 public:
  TSettingsApplier(TAppSettings& settings, TSettingsStore& store, TAutostart& autostart,
                   ISettingsHost& host, IDialogs& dialogs);
  TApplyResult apply(const TSettingsForm& form);

 private:
  bool save(const TSettingsForm& form, const TAppSettings& values);

  TAppSettings& m_settings;
  TSettingsStore& m_store;
  TAutostart& m_autostart;
  ISettingsHost& m_host;
  IDialogs& m_dialogs;
};
