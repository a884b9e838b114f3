#include "video/VideoDisplay.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <Qt>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/Text.h"
#include "core/AppSettings.h"
#include "core/DebugLog.h"
#include "platform/Paths.h"

namespace {

// Controls hidden in full screen and shown again on leaving it (the audio ones are handled
// apart, since which of them comes back depends on the audio connection).
constexpr EVideoControl BarButtons[] = {EVideoControl::StopButton, EVideoControl::SnapshotButton,
                                        EVideoControl::VoiceMessageButton,
                                        EVideoControl::FavouriteButton, EVideoControl::RelayButton};

std::string errnoText(int code) { return std::strerror(code); }

}  // namespace

bool writePrivateFile(const std::string& path, const std::vector<unsigned char>& bytes,
                      std::string& error) {
  // O_NONBLOCK: a FIFO planted under the name must not hang the window; it is refused below.
  const int fd = ::open(path.c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0) {
    error = errnoText(errno);
    return false;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    error = "not a regular file";
    ::close(fd);
    return false;
  }
  bool ok = true;
  // A file replaced from an earlier run keeps its old mode unless told otherwise.
  if (::fchmod(fd, 0600) != 0) {
    error = errnoText(errno);
    ok = false;
  }
  std::size_t written = 0;
  while (ok && written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errnoText(errno);
      ok = false;
    } else {
      written += static_cast<std::size_t>(n);
    }
  }
  if (::close(fd) != 0 && ok) {
    error = errnoText(errno);
    ok = false;
  }
  // Half a picture is worse than none.
  if (!ok) ::unlink(path.c_str());
  return ok;
}

TVideoDisplay::TVideoDisplay(IVideoWindow& window, TAppSettings& settings, const IClock& clock,
                             const IEnv& env, TBytes standardIdle, TBytes festiveIdle)
    : m_window(window), m_settings(settings), m_clock(clock), m_env(env) {
  m_festive = festiveDate(m_clock.localNow());
  m_idlePicture = m_festive ? std::move(festiveIdle) : std::move(standardIdle);
  putIdlePicture();
}

bool TVideoDisplay::festiveDate(const TLocalTime& date) {
  return date.month == 12 && date.day >= 24;
}

std::string TVideoDisplay::snapshotName(const TLocalTime& t) {
  char name[64];
  std::snprintf(name, sizeof name, "snapshot-%04d%02d%02d%02d%02d%02d.jpg", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return name;
}

void TVideoDisplay::showPicture(TBytes jpeg) {
  m_picture = std::move(jpeg);
  m_window.setPicture(m_picture);
}

void TVideoDisplay::HandleFrame(IMJPEGDecoder&, std::unique_ptr<TJPEGImage> image) {
  if (!image || image->empty()) return;
  showPicture(image->bytes());
  if (!m_snapDone) {
    if (m_settings.autoSnap == 1) onSnapshotClicked();
    // Even a failed automatic snapshot is not tried again on every frame.
    m_snapDone = true;
  }
}

std::optional<std::string> TVideoDisplay::snapshotFolder() const {
  const TPaths paths(m_env);
  auto isFolder = [](const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  };
  // The record holds Windows-1252 like every text; the file system wants UTF-8.
  const std::string chosen = cp1252ToUtf8(m_settings.snapshotFolder);
  if (!chosen.empty() && isFolder(chosen)) return chosen;
  if (m_settings.snapshotFolder.empty()) {
    if (auto pictures = paths.picturesFolder()) return pictures;
  } else {
    debugLog("**** Snapshot folder not found: " + m_settings.snapshotFolder);
  }
  return paths.tempFolder();
}

std::optional<std::string> TVideoDisplay::onSnapshotClicked() {
  if (!m_picture) {
    debugLog("**** Snapshot not written: no picture to save");
    return std::nullopt;
  }
  const std::string name = snapshotName(m_clock.localNow());
  const std::optional<std::string> folder = snapshotFolder();
  if (!folder) {
    debugLog("**** Snapshot not written: no temporary folder");
    return std::nullopt;
  }
  std::string path = joinPath(*folder, name);
  std::string error;
  if (!writePrivateFile(path, *m_picture, error)) {
    debugLog("**** Snapshot not written: " + path + ": " + error);
    // A chosen folder that refuses the file still leaves the temporary one.
    const std::optional<std::string> temp = TPaths(m_env).tempFolder();
    if (!temp || *temp == *folder) return std::nullopt;
    path = joinPath(*temp, name);
    if (!writePrivateFile(path, *m_picture, error)) {
      debugLog("**** Snapshot not written: " + path + ": " + error);
      return std::nullopt;
    }
  }
  m_snapDone = true;
  if (m_onSnapshotSaved) m_onSnapshotSaved(path);
  return path;
}

void TVideoDisplay::putIdlePicture() { showPicture(m_idlePicture); }

void TVideoDisplay::idleStep(bool streamWanted) {
  if (!streamWanted) putIdlePicture();
}

void TVideoDisplay::toggleFullScreen() {
  if (m_fullScreenActive)
    leaveFullScreen();
  else
    enterFullScreen();
}

void TVideoDisplay::enterFullScreen() {
  m_savedPosition = m_window.windowPosition();
  for (EVideoControl control : BarButtons) m_window.setControlVisible(control, false);
  m_window.showFullScreenGeometry();
  m_fullScreenActive = true;
  for (EVideoControl control :
       {EVideoControl::AlwaysOnTopPin, EVideoControl::DetectionLed, EVideoControl::ListenButton,
        EVideoControl::StopListeningButton, EVideoControl::AudioLevelBar})
    m_window.setControlVisible(control, false);
}

void TVideoDisplay::leaveFullScreen() {
  for (EVideoControl control : BarButtons) m_window.setControlVisible(control, true);
  m_window.showNormalGeometry(m_savedPosition);
  m_window.setControlVisible(EVideoControl::AlwaysOnTopPin, true);
  m_window.setControlVisible(EVideoControl::DetectionLed, true);
  m_fullScreenActive = false;
  if (m_window.audioConnectionActive()) {
    m_window.setControlVisible(EVideoControl::AudioLevelBar, true);
  } else {
    m_window.setControlVisible(EVideoControl::ListenButton, true);
  }
}

bool TVideoDisplay::handleKey(int key) {
  if (key != Qt::Key_Escape || !m_fullScreenActive) return false;
  toggleFullScreen();
  return true;
}

void TVideoDisplay::toggleAlwaysOnTop() {
  m_settings.ONTop = !m_settings.ONTop;
  m_window.setTopmost(m_settings.ONTop);
}

void TVideoDisplay::applyOnTopSetting() { m_window.setTopmost(m_settings.ONTop); }
