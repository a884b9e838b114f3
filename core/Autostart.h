#pragma once

#include <string>

#include "platform/Dialogs.h"
#include "platform/Paths.h"

// Start with the session: a copy of the running program in the private folder, started by the
// XDG autostart entry TPaths::autostartEntry(), whose existence is what "on" means.
// The paths, the dialogs and the running program's path are not owned and must outlive this
// object. Called on the UI thread only (the folder message is modal).
class TAutostart {
 public:
  // Passed by the entry, so that a copy started with the session knows it (it then waits for
  // the network).
  static constexpr const char* Argument = "--autostart";

  TAutostart(const TPaths& paths, IDialogs& dialogs, std::string runningExecutable);

  // On: makes the vendor folder (a failure shows "Echec de création du répertoire" and skips
  // the copy), makes the private folder, copies the running program over the previous copy
  // and writes the entry when a copy exists. Off: removes the entry; an absent entry is fine.
  void setAutostart(bool on);
  bool isAutostartEnabled() const;

  // The entry's text for a program at `program` (Exec quoted as the desktop-entry format asks,
  // then Argument).
  static std::string entryText(const std::string& program);

 private:
  const TPaths& m_paths;
  IDialogs& m_dialogs;
  std::string m_runningExecutable;
};
