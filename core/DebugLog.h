#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/LogSink.h"
#include "platform/Clock.h"

// The program's one log: every entry is stamped, kept in the history, appended to
// "ostrelstream-debug.log" in the temporary folder, and shown in the debug window while the
// display is on. Safe to call from any thread: entries never interleave.
class TDebugLog final : public ILogSink {
 public:
  // Size in bytes at which the file is reset.
  static constexpr std::uint64_t LogLimit = 524288;
  // The history keeps the newest entries only, displayed or not: what panels send is logged,
  // and a flood must not grow the process for the rest of the run. The byte bound keeps long
  // entries (a 64 KiB message is logged whole) from multiplying the entry bound.
  static constexpr std::uint64_t HistoryLimit = 10000;
  static constexpr std::uint64_t HistoryByteLimit = 8 * 1024 * 1024;
  static constexpr const char* FileName = "ostrelstream-debug.log";
  static constexpr const char* ResetMarker = "[RESET LOGFILE: SIZE EXCEEDED LIMIT]";

  // tempFolder is asked again for every entry; nothing means no file is written.
  TDebugLog(const IClock& clock, std::function<std::optional<std::string>()> tempFolder);

  // Start of the run: empties the file, takes the start time, empties the history.
  void startUp();
  // The two halves of startUp, which start-up runs at different steps.
  void emptyFile();
  void begin();

  // One entry. Never fails towards its caller. Texts are Windows-1252; the file gets UTF-8.
  void debugLog(const std::string& text) override;

  // The debug display switch.
  void setDisplay(bool on);
  bool display() const;

  // Called after an entry while the display is on, from the thread that logged. The UI queues
  // its window refresh from here; it must not touch widgets directly.
  void setOnDisplayedEntry(std::function<void()> callback);

  // History access for the window: the entries from absolute index `from` on (an absolute index
  // counts every entry ever appended), and the absolute index of the oldest entry still kept.
  struct TSlice {
    std::uint64_t first = 0;         // absolute index of the oldest kept entry
    std::uint64_t end = 0;           // absolute index one past the newest entry
    std::vector<std::string> lines;  // entries from max(from, first) to end
  };
  TSlice entriesFrom(std::uint64_t from) const;
  std::size_t historySize() const;

  // The file's path for the current environment, if there is a temporary folder.
  std::optional<std::string> filePath() const;

  // Tests lower the history bounds.
  void setHistoryLimitForTest(std::uint64_t entries, std::uint64_t bytes = HistoryByteLimit) {
    m_historyLimit = entries;
    m_historyByteLimit = bytes;
  }

 private:
  void appendToFile(const std::string& line);

  const IClock& m_clock;
  std::function<std::optional<std::string>()> m_tempFolder;
  mutable std::mutex m_mutex;
  std::chrono::steady_clock::time_point m_start;
  std::deque<std::string> m_history;
  std::uint64_t m_historyBytes = 0;  // text held by m_history
  std::uint64_t m_dropped = 0;       // entries trimmed from the front of the history
  bool m_display = false;
  std::uint64_t m_historyLimit = HistoryLimit;
  std::uint64_t m_historyByteLimit = HistoryByteLimit;
  std::function<void()> m_onDisplayedEntry;
};
