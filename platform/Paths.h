#pragma once

#include <optional>
#include <string>

#include "platform/Env.h"

// Where the program keeps its files on Linux, read from the environment at every call
// (the log reads TMP again for every entry).
class TPaths {
 public:
  explicit TPaths(const IEnv& env);

  // The temporary folder: $TMP, else $TMPDIR, else /tmp/ostrel-stream-<uid>, created 0700 and
  // refused when it exists and is not ours. Never the filesystem root. Nothing when no folder
  // can be had.
  std::optional<std::string> tempFolder() const;
  // $XDG_CONFIG_HOME, else ~/.config.
  std::string configHome() const;
  // $XDG_DATA_HOME, else ~/.local/share.
  std::string dataHome() const;
  // The file that holds the settings.
  std::string settingsFile() const;
  // The private folder and the program copy used for autostart.
  std::string vendorFolder() const;
  std::string privateFolder() const;
  std::string programCopy() const;
  std::string autostartEntry() const;

 private:
  std::string home() const;
  const IEnv& m_env;
};

// Joins a folder and a name with exactly one "/" between them.
std::string joinPath(const std::string& folder, const std::string& name);
