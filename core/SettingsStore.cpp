#include "core/SettingsStore.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/Vigenere.h"
#include "core/DebugLog.h"
#include "platform/RegStore.h"

namespace {

struct TDefault {
  const char* name;
  bool isString;
  const char* text;  // for strings; numbers default to 0
};

// Table order: missing values are created in this order on first start.
constexpr std::array<TDefault, TSettingsStore::ValueCount> kDefaults = {{
    {"platines", true, ""},
    {"priority", false, nullptr},
    {"priocheck", false, nullptr},
    {"autoSnap", false, nullptr},
    {"autoFullScreen", false, nullptr},
    {"startMinimized", false, nullptr},
    {"warningOnCall", false, nullptr},
    {"SIPID", true, ""},
    {"autoFocus", false, nullptr},
    {"interfaceSelected", true, ""},
    {"language", true, "FR"},
    {"codeGache", true, ""},
    {"APIUsername", true, ""},
    {"APIPassword", true, ""},
    {"APIAuthtype", false, nullptr},
    {"APISSL", false, nullptr},
    {"APIMethod", false, nullptr},
    {"ONTop", false, nullptr},
    {"SysButtons", false, nullptr},
    {"CallingList", true, ""},
}};

constexpr const char* kLiveVolume = "liveVolume";
constexpr const char* kLiveMute = "liveMute";
constexpr const char* kCloseToTray = "closeToTray";
constexpr const char* kRing = "ring";
constexpr const char* kJournalDays = "journalDays";
constexpr const char* kJournalMaxMB = "journalMaxMB";

// A value out of its range (or missing, or 0) reads as the default.
int boundedOr(const TRegStore& store, const char* name, int low, int high, int fallback) {
  const std::optional<std::uint32_t> value = store.readDword(name);
  if (!value || *value < static_cast<std::uint32_t>(low) ||
      *value > static_cast<std::uint32_t>(high))
    return fallback;
  return static_cast<int>(*value);
}

std::string stringOr(const TRegStore& store, const char* name, const char* fallback) {
  return store.readString(name).value_or(fallback);
}

int intOr0(const TRegStore& store, const char* name) {
  return static_cast<int>(store.readDword(name).value_or(0));
}

std::uint32_t switchValue(int value) { return value == 1 ? 1 : 0; }

}  // namespace

TSettingsStore::TSettingsStore(std::string storePath, TAppSettings& settings,
                               const bool& sslAvailableFlag)
    : m_storePath(std::move(storePath)), m_settings(settings), m_sslAvailable(sslAvailableFlag) {}

void TSettingsStore::loadSettings() {
  TRegStore store(m_storePath);
  if (!store.open()) {
    debugLog("**** Settings store unavailable: " + store.lastError());
  } else {
    if (store.ignoredLink())
      debugLog("**** Settings store was a symbolic link; not followed, it will be replaced");
    bool created = false;
    for (const auto& d : kDefaults) {
      if (store.exists(d.name)) continue;
      if (d.isString)
        store.writeString(d.name, d.text);
      else
        store.writeDword(d.name, 0);
      created = true;
    }
    if (store.damaged()) {
      // Leave the file as it is so that the user can still mend the lines we could not read;
      // the next save rewrites it.
      debugLog("**** Settings store has " + std::to_string(store.damagedLines().size()) +
               " unreadable line(s); their values take their defaults");
    } else if (created && !store.save()) {
      debugLog("**** Settings defaults not written: " + store.lastError());
    }

    TAppSettings& s = m_settings;
    s.platines = stringOr(store, "platines", "");
    s.priority = intOr0(store, "priority");
    s.priocheck = intOr0(store, "priocheck");
    s.autoSnap = intOr0(store, "autoSnap");
    s.autoFullScreen = intOr0(store, "autoFullScreen");
    s.startMinimized = intOr0(store, "startMinimized");
    s.warningOnCall = intOr0(store, "warningOnCall");
    s.SIPID = stringOr(store, "SIPID", "");
    s.autoFocus = intOr0(store, "autoFocus");
    s.interfaceSelected = stringOr(store, "interfaceSelected", "");
    s.language = stringOr(store, "language", "FR");
    s.codeGache = stringOr(store, "codeGache", "");
    s.APIUsername = stringOr(store, "APIUsername", "");
    s.APIPassword = decipherString(stringOr(store, "APIPassword", ""));
    // Out-of-range numbers leave these three as they were.
    if (auto n = store.readDword("APIAuthtype")) {
      if (*n == 0) s.APIAuthtype = "None";
      if (*n == 1) s.APIAuthtype = "Basic";
      if (*n == 2) s.APIAuthtype = "Digest";
    } else {
      s.APIAuthtype = "None";
    }
    if (auto n = store.readDword("APIMethod")) {
      if (*n == 0) s.APIMethod = "GET";
      if (*n == 1) s.APIMethod = "POST";
    } else {
      s.APIMethod = "GET";
    }
    if (auto n = store.readDword("APISSL")) {
      if (*n == 0) s.APISSL = false;
      if (*n == 1) s.APISSL = m_sslAvailable;
    } else {
      s.APISSL = false;
    }
    s.SysButtons = store.readDword("SysButtons").value_or(0) != 0;
    s.ONTop = store.readDword("ONTop").value_or(0) != 0;
    s.CallingList = stringOr(store, "CallingList", "");
    s.snapshotFolder = stringOr(store, "snapshotFolder", "");
    s.showNextWaiting = static_cast<int>(store.readDword("showNextWaiting").value_or(1));
    // Added later than the twenty above, so never created: missing means full volume.
    const std::uint32_t volume = store.readDword(kLiveVolume).value_or(100);
    s.liveVolume = volume > 100 ? 100 : static_cast<int>(volume);
    s.liveMute = store.readDword(kLiveMute).value_or(0) == 1;
    s.closeToTray = store.readDword(kCloseToTray).value_or(1) == 1;
    s.ring = store.readDword(kRing).value_or(1) == 1;
    s.journalDays = boundedOr(store, kJournalDays, 1, TAppSettings::MaxJournalDays,
                              TAppSettings::DefaultJournalDays);
    s.journalMaxMB = boundedOr(store, kJournalMaxMB, 1, TAppSettings::MaxJournalMB,
                               TAppSettings::DefaultJournalMaxMB);
  }
  debugLog("Registry keys successfully loaded");
}

bool TSettingsStore::saveSettings(const TAppSettings& values, const std::string& strikeCode) {
  TRegStore store(m_storePath);
  // Reading the file first keeps values we do not know about.
  if (!store.open()) {
    debugLog("**** Settings not saved: " + store.lastError());
    return false;
  }
  const std::string scrambledCode = cipherString(strikeCode);
  store.writeString("platines", values.platines);
  store.writeDword("priority", static_cast<std::uint32_t>(values.priority));
  store.writeDword("priocheck", switchValue(values.priocheck));
  store.writeDword("autoSnap", switchValue(values.autoSnap));
  store.writeDword("startMinimized", switchValue(values.startMinimized));
  store.writeDword("autoFullScreen", switchValue(values.autoFullScreen));
  store.writeDword("autoFocus", switchValue(values.autoFocus));
  store.writeDword("warningOnCall", switchValue(values.warningOnCall));
  store.writeString("interfaceSelected", values.interfaceSelected);
  store.writeString("codeGache", scrambledCode);
  store.writeString("APIusername", values.APIUsername);
  store.writeString("APIpassword", cipherString(values.APIPassword));
  store.writeDword("SysButtons", values.SysButtons ? 1 : 0);
  store.writeDword("ONTop", values.ONTop ? 1 : 0);
  store.writeString("CallingList", values.CallingList);
  store.writeDword("APISSL", values.APISSL ? 1 : 0);
  store.writeDword("APIAuthtype", values.APIAuthtype == "Basic"    ? 1
                                  : values.APIAuthtype == "Digest" ? 2
                                                                   : 0);
  store.writeDword("APIMethod", values.APIMethod == "POST" ? 1 : 0);
  store.writeString("language", values.language);
  store.writeString("SIPID", values.SIPID);
  store.writeString("snapshotFolder", values.snapshotFolder);
  store.writeDword("showNextWaiting", switchValue(values.showNextWaiting));
  store.writeDword(kCloseToTray, values.closeToTray ? 1 : 0);
  store.writeDword(kRing, values.ring ? 1 : 0);
  store.writeDword(kJournalDays, static_cast<std::uint32_t>(std::clamp(
                                     values.journalDays, 1, TAppSettings::MaxJournalDays)));
  store.writeDword(kJournalMaxMB, static_cast<std::uint32_t>(std::clamp(
                                      values.journalMaxMB, 1, TAppSettings::MaxJournalMB)));
  if (!store.save()) {
    debugLog("**** Settings not saved: " + store.lastError());
    throw ESettingsSaveError(store.lastError());
  }
  m_settings.codeGache = scrambledCode;
  return true;
}

bool TSettingsStore::saveInterfaceSelected(const std::string& address) {
  TRegStore store(m_storePath);
  if (!store.open()) {
    debugLog("**** Settings not saved: " + store.lastError());
    return false;
  }
  store.writeString("interfaceSelected", address);
  if (!store.save()) {
    debugLog("**** Settings not saved: " + store.lastError());
    return false;
  }
  return true;
}

bool TSettingsStore::saveLiveVolume(const TAppSettings& values) {
  TRegStore store(m_storePath);
  if (!store.open()) {
    debugLog("**** Live volume not saved: " + store.lastError());
    return false;
  }
  store.writeDword(kLiveVolume, static_cast<std::uint32_t>(std::clamp(values.liveVolume, 0, 100)));
  store.writeDword(kLiveMute, values.liveMute ? 1 : 0);
  if (!store.save()) {
    debugLog("**** Live volume not saved: " + store.lastError());
    return false;
  }
  return true;
}
