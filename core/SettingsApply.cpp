#include "core/SettingsApply.h"

#include <algorithm>

#include "core/DebugLog.h"
#include "core/SettingsEdits.h"
#include "core/UiTexts.h"

namespace {

const char* const kAuthTypes[] = {"None", "Basic", "Digest"};

std::string saveFailureText(const std::string& reason, bool english) {
  if (english) return "The settings could not be saved: " + reason;
  return "Les param\xE8tres n'ont pas pu \xEAtre enregistr\xE9s : " + reason;
}

}  // namespace

TSettingsApplier::TSettingsApplier(TAppSettings& settings, TSettingsStore& store,
                                   TAutostart& autostart, ISettingsHost& host, IDialogs& dialogs)
    : m_settings(settings),
      m_store(store),
      m_autostart(autostart),
      m_host(host),
      m_dialogs(dialogs) {}

TApplyResult TSettingsApplier::apply(const TSettingsForm& form) {
  TApplyResult result;
  if (!isStrikeCodeValid(form.strikeCode)) return result;
  m_autostart.setAutostart(form.autostart);

  TAppSettings& s = m_settings;
  s.priocheck = form.favourite ? 1 : 0;
  s.autoSnap = form.autoSnap ? 1 : 0;
  s.startMinimized = form.startMinimized ? 1 : 0;
  s.autoFullScreen = form.autoFullScreen ? 1 : 0;
  s.autoFocus = form.autoFocus ? 1 : 0;
  s.warningOnCall = form.waitList ? 1 : 0;
  s.showNextWaiting = form.showNextWaiting ? 1 : 0;
  s.snapshotFolder = form.snapshotFolder;
  s.closeToTray = form.closeToTray;
  s.ring = form.ring;
  s.journalDays = std::clamp(form.journalDays, 1, TAppSettings::MaxJournalDays);
  s.journalMaxMB = std::clamp(form.journalMaxMB, 1, TAppSettings::MaxJournalMB);
  s.ONTop = form.onTop;
  s.SysButtons = form.sysButtons;
  m_host.applyBorderIcons();

  const TNormalisedAddresses addresses = normaliseAddresses(form.addressText, form.favouriteText);
  result.addressText = addresses.text;
  result.favouriteEntries = addresses.entries;
  result.favouriteIndex = addresses.favouriteIndex;

  // Everything saved, as the record will hold it once the store has taken it. The chosen
  // interface is saved but used from the next start only.
  TAppSettings values = s;
  values.platines = addresses.text;
  values.priority = addresses.favouriteIndex;
  values.interfaceSelected = form.interfaceText;
  values.APIUsername = form.login;
  values.APIPassword = form.password;
  values.CallingList = joinCallingList(form.callingIdentities);
  values.APISSL = form.ssl;
  values.APIAuthtype =
      form.authIndex >= 0 && form.authIndex < 3 ? kAuthTypes[form.authIndex] : "None";
  values.APIMethod = form.methodIndex == 1 ? "POST" : "GET";
  values.language = languageCode(form.languageText);
  values.SIPID = form.calledIdentity;

  result.outcome = save(form, values) ? EApplyOutcome::Saved : EApplyOutcome::NotSaved;
  if (result.outcome == EApplyOutcome::Saved) {
    const std::string interfaceSelected = s.interfaceSelected;
    const std::string codeGache = s.codeGache;  // already scrambled by the store
    s = values;
    s.interfaceSelected = interfaceSelected;
    s.codeGache = codeGache;
    m_host.applyTopmost();
    setLanguage(values.language);
  }
  s.platines = addresses.text;
  s.priority = addresses.favouriteIndex;
  m_host.applyMainWindowTexts();
  return result;
}

bool TSettingsApplier::save(const TSettingsForm& form, const TAppSettings& values) {
  try {
    return m_store.saveSettings(values, form.strikeCode);
  } catch (const ESettingsSaveError& e) {
    m_dialogs.message(saveFailureText(e.what(), m_settings.language == "EN"), EDialogIcon::Error);
    return false;
  }
}
