#include "core/Autostart.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "core/DebugLog.h"
#include "platform/AtomicFile.h"

namespace {

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string folderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

// One Exec argument: quoted, with the characters the desktop-entry format reserves inside
// quotes escaped, then escaped again as a string value ("\\" for "\", "%%" for "%").
std::string execArgument(const std::string& program) {
  std::string quoted = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string value;
  for (char c : quoted) {
    if (c == '\\')
      value += "\\\\";
    else if (c == '%')
      value += "%%";
    else if (c == '\n')
      value += "\\n";
    else if (c == '\r')
      value += "\\r";
    else
      value += c;
  }
  return value;
}

}  // namespace

TAutostart::TAutostart(const TPaths& paths, IDialogs& dialogs, std::string runningExecutable)
    : m_paths(paths), m_dialogs(dialogs), m_runningExecutable(std::move(runningExecutable)) {}

std::string TAutostart::entryText(const std::string& program) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Ostrel Stream\n"
         "Exec=" +
         execArgument(program) + " " + Argument +
         "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

void TAutostart::setAutostart(bool on) {
  const std::string entry = m_paths.autostartEntry();
  if (!on) {
    if (::unlink(entry.c_str()) != 0 && errno != ENOENT)
      debugLog("**** Autostart entry not removed: " + std::string(std::strerror(errno)));
    return;
  }
  const std::string vendor = m_paths.vendorFolder();
  const std::string copy = m_paths.programCopy();
  bool copyWanted = true;
  if (!isFolder(vendor)) {
    // The data folder itself may be missing on a fresh account, so parents are made too.
    if (!makeFolders(vendor)) {
      m_dialogs.message(
          "Echec de cr\xE9"
          "ation du r\xE9"
          "pertoire",
          EDialogIcon::Warning);
      copyWanted = false;
    }
  }
  if (copyWanted) {
    makeFolders(m_paths.privateFolder());
    std::string error;
    // Replaced by rename: the running program may be this very copy, and a half-written copy
    // must never be what the session starts.
    if (!copyFileAtomically(m_runningExecutable, copy, 0700, &error))
      debugLog("**** Program copy failed: " + error);
  }
  if (!isFile(copy)) return;
  std::string error;
  if (!makeFolders(folderOf(entry)) || !writeFileAtomically(entry, entryText(copy), 0600, &error))
    debugLog("**** Autostart entry not written: " + error);
}

bool TAutostart::isAutostartEnabled() const {
  struct stat st {};
  return ::lstat(m_paths.autostartEntry().c_str(), &st) == 0;
}
