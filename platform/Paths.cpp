#include "platform/Paths.h"

#include <errno.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace {

bool usable(const std::optional<std::string>& value) {
  // An empty value or "/" would put our files at the filesystem root.
  return value && !value->empty() && *value != "/";
}

// Our own private fallback under the shared temporary folder: made 0700, and only accepted
// when it is a real folder of ours that nobody else can reach, since the log and the snapshots
// go there.
TTempFolder privateTmp(const std::string& sharedTemp) {
  TTempFolder result;
  const std::string folder = joinPath(sharedTemp, "ostrel-stream-" + std::to_string(getuid()));
  auto refuse = [&](ETempRefusal why, int error = 0) {
    result.refusedFolder = folder;
    result.refusal = why;
    result.error = error;
    return result;
  };
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return refuse(ETempRefusal::CannotCreate, errno);
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0) return refuse(ETempRefusal::CannotCreate, errno);
  if (S_ISLNK(st.st_mode)) return refuse(ETempRefusal::SymbolicLink);
  if (!S_ISDIR(st.st_mode)) return refuse(ETempRefusal::NotAFolder);
  if (st.st_uid != getuid()) return refuse(ETempRefusal::OtherOwner);
  if ((st.st_mode & 0077) != 0) return refuse(ETempRefusal::OpenToOthers);
  result.folder = folder;
  return result;
}

}  // namespace

TPaths::TPaths(const IEnv& env, std::string sharedTemp)
    : m_env(env), m_sharedTemp(std::move(sharedTemp)) {}

TTempFolder TPaths::chooseTempFolder() const {
  TTempFolder result;
  if (auto tmp = m_env.get("TMP"); usable(tmp)) {
    result.folder = tmp;
  } else if (auto tmpdir = m_env.get("TMPDIR"); usable(tmpdir)) {
    result.folder = tmpdir;
  } else {
    result = privateTmp(m_sharedTemp);
  }
  return result;
}

std::optional<std::string> TPaths::tempFolder() const { return chooseTempFolder().folder; }

std::string TPaths::home() const {
  if (auto h = m_env.get("HOME"); h && !h->empty()) return *h;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr)
    return pw->pw_dir;
  return "/";
}

std::string TPaths::configHome() const {
  if (auto v = m_env.get("XDG_CONFIG_HOME"); v && !v->empty()) return *v;
  return joinPath(home(), ".config");
}

std::string TPaths::dataHome() const {
  if (auto v = m_env.get("XDG_DATA_HOME"); v && !v->empty()) return *v;
  return joinPath(home(), ".local/share");
}

std::string TPaths::settingsFile() const {
  return joinPath(joinPath(configHome(), "Halvex"), "HalvexStream.reg");
}

std::string TPaths::vendorFolder() const { return joinPath(dataHome(), "Halvex"); }

std::string TPaths::privateFolder() const { return joinPath(vendorFolder(), "Ostrel_Stream"); }

std::string TPaths::journalFile() const { return joinPath(privateFolder(), "journal.sqlite"); }

std::string TPaths::programCopy() const { return joinPath(privateFolder(), "Ostrel_Stream"); }

std::string TPaths::autostartEntry() const {
  return joinPath(joinPath(configHome(), "autostart"), "HalvexStream.desktop");
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::optional<std::string> TPaths::picturesFolder() const {
  std::string folder = joinPath(home(), "Pictures");
  // Lines such as XDG_PICTURES_DIR="$HOME/Bilder"; only $HOME is expanded, as xdg-user-dirs does.
  std::ifstream dirs(joinPath(configHome(), "user-dirs.dirs"));
  const std::string key = "XDG_PICTURES_DIR=";
  for (std::string line; std::getline(dirs, line);) {
    if (line.rfind(key, 0) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = home() + value.substr(5);
    // An entry equal to the home folder means "no such folder" to xdg-user-dirs.
    if (value.empty() || value.front() != '/' || value == home() || value == home() + "/") continue;
    folder = value;
  }
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  return folder;
}
