#pragma once

#include <stdexcept>
#include <string>

#include "core/AppSettings.h"

// Raised by saveSettings when the store was opened but the new file could not be written
// (disk full, folder read-only). The old file is then still complete.
class ESettingsSaveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Loads and saves the settings record from and to the settings file (platform/RegStore.h).
// Start-up makes one with TPaths::settingsFile(), AppSettings and sslAvailable; tests give a
// temporary file and a record of their own. The record and the flag are not owned and must
// outlive this object. Called on the UI thread only.
class TSettingsStore {
 public:
  // The twenty stored values, in the order in which missing ones are created.
  static constexpr int ValueCount = 20;

  TSettingsStore(std::string storePath, TAppSettings& settings, const bool& sslAvailableFlag);

  // Fills the record from the store, creating missing values with their defaults first. Every
  // value is read on its own: a missing one or one of the wrong type takes its fallback. When
  // the store cannot be opened the record is left as it is. Always ends by logging
  // "Registry keys successfully loaded".
  void loadSettings();

  // Writes `values` in the settings window's order; the API password is scrambled on the way
  // and the strike code, given in clear, is scrambled with cipherString. That scrambled code
  // then becomes the record's codeGache, the only field changed here (the window sets the
  // rest). Returns false when the store cannot be opened: nothing is written or changed.
  // Throws ESettingsSaveError when the file could not be replaced.
  bool saveSettings(const TAppSettings& values, const std::string& strikeCode);

  // Writes interfaceSelected alone (the first start's own choice); every other value stays as
  // stored. False, logged, when the store cannot be opened or written.
  bool saveInterfaceSelected(const std::string& address);
  // Writes the live sound's volume and mute, leaving every other value as it is. False (and
  // logged) when the store cannot be opened or written.
  bool saveLiveVolume(const TAppSettings& values);

 private:
  std::string m_storePath;
  TAppSettings& m_settings;
  const bool& m_sslAvailable;
};
