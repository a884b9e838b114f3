#include "core/DebugLog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <atomic>
#include <fstream>
#include <functional>
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

struct THistoryCase {
  const char* fault;
  bool display;
  std::uint64_t entryBound;
  std::uint64_t byteBound;
  std::vector<std::string> texts;  // logged in this order
  std::vector<std::string> kept;   // the history afterwards
};

// The history keeps the newest entries within its bounds whether the display is on or off, so
// that what panels send cannot grow the process for the rest of the run.
TEST_F(DebugLogTest, HistoryKeepsTheNewestEntriesWithinItsBounds) {
  const THistoryCase cases[] = {
      {"hidden, the history must still be bounded",
       false,
       3,
       TDebugLog::HistoryByteLimit,
       {"a", "b", "c", "d", "e"},
       {"c", "d", "e"}},
      {"displayed, the same bound holds",
       true,
       3,
       TDebugLog::HistoryByteLimit,
       {"a", "b", "c", "d", "e"},
       {"c", "d", "e"}},
      // Each line is the 9-byte stamp and "> " plus the text: 12 bytes for one letter.
      {"long entries are bounded by their bytes too",
       false,
       100,
       30,
       {"a", "b", "c", std::string(20, 'x')},
       {std::string(20, 'x')}},
      {"an entry longer than the byte bound is still kept, alone",
       false,
       100,
       10,
       {"a", std::string(50, 'y')},
       {std::string(50, 'y')}},
  };
  for (const THistoryCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TDebugLog history(clock, [] { return std::optional<std::string>(); });
    history.startUp();
    history.setHistoryLimitForTest(c.entryBound, c.byteBound);
    history.setDisplay(c.display);
    for (const std::string& text : c.texts) history.debugLog(text);
    std::vector<std::string> kept;
    for (const std::string& line : history.entriesFrom(0).lines) kept.push_back(line.substr(9));
    EXPECT_EQ(kept, c.kept);
    TDebugLog::TSlice slice = history.entriesFrom(0);
    EXPECT_EQ(slice.end, c.texts.size());
    EXPECT_EQ(slice.first, c.texts.size() - c.kept.size());
  }
}

// The shipped bound: a long run with the display off keeps the last 10,000 entries.
TEST_F(DebugLogTest, ALongHiddenRunKeepsTheLastTenThousandEntries) {
  TDebugLog history(clock, [] { return std::optional<std::string>(); });
  history.startUp();
  const std::uint64_t logged = TDebugLog::HistoryLimit + 500;
  for (std::uint64_t i = 0; i < logged; ++i) history.debugLog("entry " + std::to_string(i));
  EXPECT_EQ(history.historySize(), 10000u);
  TDebugLog::TSlice slice = history.entriesFrom(0);
  EXPECT_EQ(slice.lines.front(), "1000000> entry 500");
  EXPECT_EQ(slice.lines.back(), "1000000> entry " + std::to_string(logged - 1));
}

struct TPlantedCase {
  const char* fault;
  std::function<void(const std::string& path)> plant;
};

// Any local user can plant something under the log's name in a shared temporary folder: a FIFO
// must not hang start-up or an entry in open() (with or without a reader), and nothing but a
// regular file is written to. Each such entry costs only its file copy.
TEST_F(DebugLogTest, AnythingButARegularFileIsRefusedWithoutBlocking) {
  const TPlantedCase cases[] = {
      {"a FIFO without a reader must not block the open",
       [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0); }},
      {"a FIFO with a reader must not receive the log", nullptr},
  };
  for (const TPlantedCase& c : cases) {
    SCOPED_TRACE(c.fault);
    QTemporaryDir shared;
    const std::string tmp = shared.path().toStdString();
    const std::string path = tmp + "/ostrelstream-debug.log";
    int reader = -1;
    if (c.plant) {
      c.plant(path);
    } else {
      ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0);
      reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
      ASSERT_GE(reader, 0);
    }
    TDebugLog planted(clock, [tmp] { return std::optional<std::string>(tmp); });
    // On a worker, so that a blocking open fails the test instead of hanging it: opening the
    // FIFO for reading releases a blocked writer.
    std::atomic<bool> done{false};
    std::thread worker([&] {
      planted.startUp();
      planted.debugLog("first");
      planted.debugLog("second");
      done = true;
    });
    for (int i = 0; i < 500 && !done; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool returned = done;
    if (!returned) {
      int unblock = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
      while (!done) {
        char sink[4096];
        if (unblock >= 0) (void)::read(unblock, sink, sizeof sink);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (unblock >= 0) ::close(unblock);
    }
    worker.join();
    EXPECT_TRUE(returned) << "start-up or an entry blocked on what was planted";
    EXPECT_EQ(planted.historySize(), 2u);
    if (reader >= 0) {
      char buffer[256];
      EXPECT_LE(::read(reader, buffer, sizeof buffer), 0) << "the FIFO's reader got log lines";
      ::close(reader);
    }
  }
}
