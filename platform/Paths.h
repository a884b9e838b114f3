#pragma once

#include <optional>
#include <string>

#include "platform/Env.h"

// Why the per-user fallback temporary folder cannot be used.
enum class ETempRefusal {
  None,
  CannotCreate,  // mkdir failed; `error` holds errno
  SymbolicLink,  // someone may have planted it to redirect our writes
  NotAFolder,
  OtherOwner,
  OpenToOthers,  // group or others have some access to it
};

// The temporary folder chosen, or the fallback folder that was refused and why.
struct TTempFolder {
  std::optional<std::string> folder;  // nothing: no log file and no snapshots
  std::string refusedFolder;          // set only when refusal != None
  ETempRefusal refusal = ETempRefusal::None;
  int error = 0;
};

// Where the program keeps its files on Linux, read from the environment at every call
// (the log reads TMP again for every entry).
class TPaths {
 public:
  // sharedTemp is the world-writable folder that holds the per-user fallback; only tests give
  // another one.
  explicit TPaths(const IEnv& env, std::string sharedTemp = "/tmp");

  // The temporary folder: $TMP, else $TMPDIR, taken as they are, else
  // <sharedTemp>/ostrel-stream-<uid>, created 0700 and refused when it exists and is not a
  // folder of ours closed to everybody else. Never the filesystem root.
  TTempFolder chooseTempFolder() const;
  // The folder of chooseTempFolder(); nothing when no folder can be had.
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
  // The visitor journal's database, in the private folder.
  std::string journalFile() const;
  std::string autostartEntry() const;
  // The user's pictures folder: XDG_PICTURES_DIR of user-dirs.dirs in configHome(), else
  // ~/Pictures; nothing when that folder does not exist.
  std::optional<std::string> picturesFolder() const;

 private:
  std::string home() const;
  const IEnv& m_env;
  std::string m_sharedTemp;
};

// Joins a folder and a name with exactly one "/" between them.
std::string joinPath(const std::string& folder, const std::string& name);
