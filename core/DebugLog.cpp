#include "core/DebugLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "base/Text.h"
#include "platform/Paths.h"

namespace {

// O_NONBLOCK: a FIFO planted under the log's name in a shared temporary folder must not hang
// the caller in open(); anything but a regular file is refused after opening.
constexpr int kOpenFlags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
constexpr int kCreateFlags = kOpenFlags | O_CREAT | O_TRUNC;

// An open descriptor on the log file, or -1. A file we create anew is made private, also one
// left from an earlier run with a wider mode.
int openLogFile(const std::string& path, bool create) {
  int fd = ::open(path.c_str(), create ? kCreateFlags : kOpenFlags | O_APPEND, 0600);
  if (fd < 0) return -1;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (create && ::fchmod(fd, 0600) != 0)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void writeAll(int fd, const std::string& data) {
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

}  // namespace

TDebugLog::TDebugLog(const IClock& clock, std::function<std::optional<std::string>()> tempFolder)
    : m_clock(clock), m_tempFolder(std::move(tempFolder)), m_start(clock.steadyNow()) {}

std::optional<std::string> TDebugLog::filePath() const {
  auto folder = m_tempFolder();
  if (!folder) return std::nullopt;
  return joinPath(*folder, FileName);
}

void TDebugLog::startUp() {
  emptyFile();
  begin();
}

void TDebugLog::emptyFile() {
  std::lock_guard lock(m_mutex);
  if (auto path = filePath()) {
    int fd = openLogFile(*path, true);
    if (fd >= 0) ::close(fd);
  }
}

void TDebugLog::begin() {
  std::lock_guard lock(m_mutex);
  m_display = false;
  m_start = m_clock.steadyNow();
  m_history.clear();
  m_historyBytes = 0;
  m_dropped = 0;
}

void TDebugLog::appendToFile(const std::string& line) {
  auto path = filePath();
  if (!path) return;
  struct stat st {};
  // A file that is not there counts as empty; appending never creates it.
  std::uint64_t size =
      ::lstat(path->c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  std::string data = cp1252ToUtf8(line) + "\r\n";
  const bool reset = size >= LogLimit;
  if (reset) data = std::string(ResetMarker) + "\r\n" + data;
  int fd = openLogFile(*path, reset);
  if (fd < 0) return;
  writeAll(fd, data);
  ::close(fd);
}

void TDebugLog::debugLog(const std::string& text) {
  std::function<void()> notify;
  {
    std::lock_guard lock(m_mutex);
    auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_clock.steadyNow() - m_start);
    std::string line =
        std::to_string(static_cast<std::int64_t>(elapsed.count()) + 1000000) + "> " + text;
    appendToFile(line);
    m_historyBytes += line.size();
    m_history.push_back(std::move(line));
    // The newest entry always stays, however long.
    while (m_history.size() > 1 &&
           (m_history.size() > m_historyLimit || m_historyBytes > m_historyByteLimit)) {
      m_historyBytes -= m_history.front().size();
      m_history.pop_front();
      ++m_dropped;
    }
    if (m_display) notify = m_onDisplayedEntry;
  }
  if (notify) notify();
}

void TDebugLog::setDisplay(bool on) {
  std::lock_guard lock(m_mutex);
  m_display = on;
}

bool TDebugLog::display() const {
  std::lock_guard lock(m_mutex);
  return m_display;
}

void TDebugLog::setOnDisplayedEntry(std::function<void()> callback) {
  std::lock_guard lock(m_mutex);
  m_onDisplayedEntry = std::move(callback);
}

TDebugLog::TSlice TDebugLog::entriesFrom(std::uint64_t from) const {
  std::lock_guard lock(m_mutex);
  TSlice slice;
  slice.first = m_dropped;
  slice.end = m_dropped + m_history.size();
  for (std::uint64_t i = std::max(from, slice.first); i < slice.end; ++i)
    slice.lines.push_back(m_history[static_cast<std::size_t>(i - m_dropped)]);
  return slice;
}

std::size_t TDebugLog::historySize() const {
  std::lock_guard lock(m_mutex);
  return m_history.size();
}
