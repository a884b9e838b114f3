#include "core/DebugLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/QtTestSupport.h"

namespace {

class DebugLogTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::string folder = dir.path().toStdString();
  std::string file = folder + "/ostrelstream-debug.log";
  TFakeClock clock;
  TDebugLog log{clock, [this] { return std::optional<std::string>(folder); }};
};

}  // namespace

// The stamp is whole milliseconds since start plus 1,000,000, and the text follows "> ".
TEST_F(DebugLogTest, StampsCountFromTheStartTime) {
  clock.advance(std::chrono::milliseconds(5000));  // time before start-up does not count
  log.startUp();
  clock.advance(std::chrono::microseconds(523900));
  log.debugLog("first");
  clock.advance(std::chrono::hours(24 * 40));
  log.debugLog("much later");
  EXPECT_EQ(readFileBytes(file), "1000523> first\r\n3457000523> much later\r\n");
  EXPECT_EQ(log.entriesFrom(0).lines,
            (std::vector<std::string>{"1000523> first", "3457000523> much later"}));
}

struct TResetCase {
  const char* fault;
  std::size_t existingSize;
  bool reset;
};

// The file is reset when it has reached the limit, not before: 524,287 bytes are appended to.
TEST_F(DebugLogTest, ResetsExactlyAtTheLimit) {
  const TResetCase cases[] = {
      {"one byte under the limit must be appended to", 524287, false},
      {"exactly the limit must be reset", 524288, true},
      {"over the limit must be reset", 600000, true},
  };
  log.startUp();
  for (const TResetCase& c : cases) {
    SCOPED_TRACE(c.fault);
    writeFileBytes(file, std::string(c.existingSize, 'x'));
    log.debugLog("entry");
    std::string content = readFileBytes(file);
    if (c.reset) {
      EXPECT_EQ(content, "[RESET LOGFILE: SIZE EXCEEDED LIMIT]\r\n1000000> entry\r\n");
    } else {
      EXPECT_EQ(content.size(), c.existingSize + std::string("1000000> entry\r\n").size());
    }
  }
  // The marker is the file's business only.
  for (const std::string& line : log.entriesFrom(0).lines)
    EXPECT_EQ(line.find("RESET"), std::string::npos);
}

// Start-up empties the file; an entry never creates a file that is gone, a missing folder
// loses only the file copy, and text with line breaks is written as it is.
TEST_F(DebugLogTest, FileFailuresCostOnlyTheFileCopy) {
  writeFileBytes(file, "old run\r\n");
  log.startUp();
  EXPECT_EQ(readFileBytes(file), "");
  log.debugLog("two\r\nlines");
  EXPECT_EQ(readFileBytes(file), "1000000> two\r\nlines\r\n");

  ::unlink(file.c_str());
  log.debugLog("after removal");
  struct stat st {};
  EXPECT_NE(::stat(file.c_str(), &st), 0) << "a removed log must not come back";

  TDebugLog missing(clock, [] { return std::optional<std::string>("/nonexistent/ostrel"); });
  missing.startUp();
  missing.debugLog("kept in history");
  TDebugLog none(clock, [] { return std::optional<std::string>(); });
  none.startUp();
  none.debugLog("no folder at all");
  EXPECT_EQ(missing.historySize(), 1u);
  EXPECT_EQ(none.historySize(), 1u);
  EXPECT_EQ(log.historySize(), 2u);
}

// Another account must not read the log, nor redirect our writes through a planted link.
TEST_F(DebugLogTest, FileIsPrivateAndLinksAreNotFollowed) {
  log.startUp();
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  std::string victim = folder + "/victim";
  writeFileBytes(victim, "precious");
  ::unlink(file.c_str());
  ASSERT_EQ(::symlink(victim.c_str(), file.c_str()), 0);
  log.startUp();
  log.debugLog("must not land in the victim");
  EXPECT_EQ(readFileBytes(victim), "precious");
}

// Entries from several threads never interleave inside a line, in the file or the history.
TEST_F(DebugLogTest, ConcurrentEntriesStayWhole) {
  log.startUp();
  const int threads = 4;
  const int perThread = 500;
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([this, t] {
      for (int i = 0; i < perThread; ++i)
        log.debugLog("thread " + std::to_string(t) + " entry " + std::to_string(i) +
                     " with some padding text");
    });
  for (auto& w : workers) w.join();
  std::istringstream lines(readFileBytes(file));
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    EXPECT_NE(line.find("> thread "), std::string::npos) << line;
    EXPECT_EQ(line.back(), '\r');
    EXPECT_NE(line.find(" with some padding text\r"), std::string::npos) << line;
  }
  EXPECT_EQ(count, threads * perThread);
  EXPECT_EQ(log.historySize(), static_cast<std::size_t>(threads * perThread));
}

// While displayed, each new entry pushes the oldest out once the bound is passed; hidden, the
// history keeps everything, and a larger history keeps its size when the display comes on.
TEST_F(DebugLogTest, HistoryIsBoundedOnlyWhileDisplayed) {
  log.startUp();
  log.setHistoryLimitForTest(3);
  int notified = 0;
  log.setOnDisplayedEntry([&notified] { ++notified; });
  for (int i = 0; i < 5; ++i) log.debugLog("hidden " + std::to_string(i));
  EXPECT_EQ(log.historySize(), 5u);
  EXPECT_EQ(notified, 0);
  log.setDisplay(true);
  log.debugLog("shown");
  EXPECT_EQ(log.historySize(), 5u);
  EXPECT_EQ(notified, 1);
  TDebugLog::TSlice slice = log.entriesFrom(0);
  EXPECT_EQ(slice.first, 1u);
  EXPECT_EQ(slice.end, 6u);
  EXPECT_EQ(slice.lines.front(), "1000000> hidden 1");
  EXPECT_EQ(slice.lines.back(), "1000000> shown");
}
