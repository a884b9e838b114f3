#include "platform/JournalStore.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>

#include "tests/platform/JournalCrashRows.h"
#include "tests/support/QtTestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t Day = 86'400'000;
constexpr std::int64_t Now = 1'765'000'000'000;  // December 2025

std::vector<unsigned char> jpegOf(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPEG", 90);
  return {data.begin(), data.end()};
}

TJournalEntry entry(std::int64_t ringTimeMs, std::string panel, std::string calling,
                    EJournalOutcome outcome = EJournalOutcome::Shown) {
  TJournalEntry e;
  e.ringTimeMs = ringTimeMs;
  e.day = ringTimeMs >= Now - Day / 2 ? "2025-12-06" : "2025-12-01";
  e.panel = std::move(panel);
  e.calling = std::move(calling);
  e.called = "100@host";
  e.outcome = outcome;
  return e;
}

class JournalStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    ASSERT_TRUE(dir.isValid());
  }
  QTemporaryDir dir;
  std::string folder = dir.path().toStdString() + "/Halvex/Ostrel_Stream";
  std::string path = folder + "/journal.sqlite";
};

// Every outcome and every later fact survives the round trip; rows come newest first and the
// filters pick by day and by panel.
TEST_F(JournalStoreTest, RowsKeepWhatHappenedNewestFirstAndFilter) {
  TJournalStore store(path);
  ASSERT_EQ(store.open(), EJournalOpen::Opened) << store.lastError();
  const EJournalOutcome outcomes[] = {
      EJournalOutcome::Shown,          EJournalOutcome::Waited,
      EJournalOutcome::RejectedCalled, EJournalOutcome::RejectedCalling,
      EJournalOutcome::DroppedWaitOff, EJournalOutcome::DroppedWaitFull,
      EJournalOutcome::NotStarted,
  };
  std::vector<std::int64_t> ids;
  for (std::size_t i = 0; i < std::size(outcomes); ++i) {
    const std::string panel = i % 2 ? "10.0.0.2" : "10.0.0.1";
    // "é" in UTF-8 and a quote: texts are kept exactly.
    auto id = store.insert(entry(Now - static_cast<std::int64_t>(i) * Day, panel,
                                 "Visiteur \xC3\xA9 \"" + std::to_string(i), outcomes[i]));
    ASSERT_TRUE(id) << store.lastError();
    ids.push_back(*id);
  }
  TJournalUpdate later;
  later.watchedMs = 12'345;
  later.doorOpened = true;
  later.relayResult = "done";
  later.voiceSent = true;
  later.missed = true;
  ASSERT_TRUE(store.update(ids[1], later));
  TJournalUpdate onlyMissed;
  onlyMissed.missed = true;
  ASSERT_TRUE(store.update(ids[2], onlyMissed));

  const std::vector<TJournalRow> rows = store.rows();
  ASSERT_EQ(rows.size(), std::size(outcomes));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].id, ids[i]) << "newest first";
    EXPECT_EQ(rows[i].entry.outcome, outcomes[i]);
    EXPECT_EQ(rows[i].entry.calling, "Visiteur \xC3\xA9 \"" + std::to_string(i));
    EXPECT_EQ(rows[i].entry.called, "100@host");
    EXPECT_FALSE(rows[i].hasPicture);
  }
  EXPECT_EQ(rows[1].watchedMs, 12'345);
  EXPECT_TRUE(rows[1].doorOpened);
  EXPECT_EQ(rows[1].relayResult, "done");
  EXPECT_TRUE(rows[1].voiceSent);
  EXPECT_TRUE(rows[1].missed);
  // A partial update leaves the rest alone.
  EXPECT_TRUE(rows[2].missed);
  EXPECT_FALSE(rows[2].doorOpened);
  EXPECT_EQ(rows[2].watchedMs, 0);
  EXPECT_FALSE(rows[0].missed);

  EXPECT_EQ(store.rows({"2025-12-06", ""}).size(), 1u);
  EXPECT_EQ(store.rows({"", "10.0.0.2"}).size(), 3u);
  EXPECT_EQ(store.rows({"2025-12-01", "10.0.0.1"}).size(), 3u);
  EXPECT_EQ(store.days(), (std::vector<std::string>{"2025-12-06", "2025-12-01"}));
  EXPECT_EQ(store.panels(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
}

// Only the user may read who rang; the file is written ahead-log style, and a reader on a
// second connection sees the writer's rows without closing it.
TEST_F(JournalStoreTest, FileIsPrivateWalAndReadableAlongsideTheWriter) {
  TJournalStore writer(path);
  ASSERT_EQ(writer.open(), EJournalOpen::Opened);
  ASSERT_TRUE(writer.insert(entry(Now, "10.0.0.1", "a")));
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat((path + "-wal").c_str(), &info), 0) << "WAL mode keeps a -wal file";
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  TJournalStore reader(path);
  ASSERT_TRUE(reader.openForReading()) << reader.lastError();
  ASSERT_EQ(reader.rows().size(), 1u);
  ASSERT_TRUE(writer.insert(entry(Now + 1, "10.0.0.1", "b")));
  EXPECT_EQ(reader.rows().size(), 2u);
  EXPECT_FALSE(TJournalStore(folder + "/none.sqlite").openForReading())
      << "a reader never creates the file";
}

// The first frame is kept byte for byte, with a thumbnail that fits the table; bytes that are
// no JPEG are kept without one.
TEST_F(JournalStoreTest, PictureIsKeptAsSentWithASmallThumbnail) {
  TJournalStore store(path);
  ASSERT_EQ(store.open(), EJournalOpen::Opened);
  const auto id = store.insert(entry(Now, "10.0.0.1", "a"));
  const auto other = store.insert(entry(Now, "10.0.0.1", "b"));
  ASSERT_TRUE(id && other);
  const std::vector<unsigned char> jpeg = jpegOf(640, 480, Qt::darkCyan);
  ASSERT_TRUE(store.setPicture(*id, jpeg));
  EXPECT_EQ(store.picture(*id), jpeg);
  const std::vector<unsigned char> thumb = store.thumbnail(*id);
  QImage small;
  ASSERT_TRUE(small.loadFromData(thumb.data(), static_cast<int>(thumb.size()), "JPEG"));
  EXPECT_EQ(small.size(), QSize(160, 120));
  EXPECT_EQ(store.pictureBytes(), static_cast<std::int64_t>(jpeg.size() + thumb.size()));

  const std::vector<unsigned char> garbage(500, 0x42);
  ASSERT_TRUE(store.setPicture(*other, garbage));
  EXPECT_EQ(store.picture(*other), garbage);
  EXPECT_TRUE(store.thumbnail(*other).empty());
  EXPECT_TRUE(store.rows()[0].hasPicture);
}

// Rows older than the kept days go; then the pictures of the oldest rows go until the
// pictures fit, and those rows stay.
TEST_F(JournalStoreTest, RetentionByAgeThenBySizeOldestFirst) {
  TJournalStore store(path);
  ASSERT_EQ(store.open(), EJournalOpen::Opened);
  const std::vector<unsigned char> picture(10'000, 0x55);  // no JPEG: no thumbnail, 10,000 bytes
  struct TAged {
    std::int64_t age;
    bool stays;
  };
  const TAged ages[] = {{100 * Day, false}, {90 * Day + 1, false}, {90 * Day, true},
                        {30 * Day, true},   {2 * Day, true},       {0, true}};
  std::vector<std::int64_t> ids;
  for (const TAged& aged : ages) {
    const auto id = store.insert(entry(Now - aged.age, "10.0.0.1", "x"));
    ASSERT_TRUE(id);
    ASSERT_TRUE(store.setPicture(*id, picture));
    ids.push_back(*id);
  }
  // Four rows stay, 40,000 bytes of pictures; 25,000 allowed: the two oldest lose theirs.
  const TJournalRetention removed = store.applyRetention(Now, 90, 25'000);
  EXPECT_EQ(removed.rowsRemoved, 2);
  EXPECT_EQ(removed.picturesRemoved, 2);
  const std::vector<TJournalRow> rows = store.rows();
  ASSERT_EQ(rows.size(), 4u);
  // Newest first: the two newest keep their pictures.
  EXPECT_TRUE(rows[0].hasPicture);
  EXPECT_TRUE(rows[1].hasPicture);
  EXPECT_FALSE(rows[2].hasPicture);
  EXPECT_FALSE(rows[3].hasPicture);
  EXPECT_TRUE(store.picture(ids[2]).empty());
  EXPECT_EQ(store.picture(ids[5]), picture);
  EXPECT_EQ(store.pictureBytes(), 20'000);

  const TJournalRetention again = store.applyRetention(Now, 90, 25'000);
  EXPECT_EQ(again.rowsRemoved, 0);
  EXPECT_EQ(again.picturesRemoved, 0);
}

struct TDamage {
  const char* what;
  std::function<void(const std::string& path)> damage;
};

// A damaged file is moved aside whole (for whoever wants to rescue it) and a new, empty,
// writable journal takes its place.
TEST_F(JournalStoreTest, DamagedFileIsMovedAsideAndANewOneStarted) {
  const TDamage damages[] = {
      {"not a database at all",
       [](const std::string& p) { writeFileBytes(p, std::string(8192, 'x')); }},
      {"pages overwritten in the middle",
       [](const std::string& p) {
         std::string bytes = readFileBytes(p);
         ASSERT_GT(bytes.size(), 40'000u);
         for (std::size_t i = 4096 + 100; i < bytes.size() - 4096; i += 97) bytes[i] = '\x7f';
         writeFileBytes(p, bytes);
       }},
      {"header torn",
       [](const std::string& p) {
         std::string bytes = readFileBytes(p);
         bytes.replace(0, 16, "SQLite format 2");
         writeFileBytes(p, bytes);
       }},
  };
  for (const TDamage& d : damages) {
    SCOPED_TRACE(d.what);
    fs::remove_all(folder);
    {
      TJournalStore store(path);
      ASSERT_EQ(store.open(), EJournalOpen::Opened);
      for (int i = 0; i < 60; ++i) {
        const auto id = store.insert(entry(Now + i, "10.0.0.1", "before " + std::to_string(i)));
        ASSERT_TRUE(id);
        store.setPicture(*id, std::vector<unsigned char>(900, static_cast<unsigned char>(i)));
      }
    }
    // Closing checkpoints the log into the file: what is damaged below is all there is.
    ASSERT_FALSE(fs::exists(path + "-wal"));
    d.damage(path);
    const std::string damagedBytes = readFileBytes(path);

    TJournalStore store(path);
    ASSERT_EQ(store.open(), EJournalOpen::Recovered) << store.lastError();
    ASSERT_FALSE(store.movedAsideTo().empty());
    EXPECT_EQ(store.movedAsideTo().rfind(path + ".damaged-", 0), 0u) << store.movedAsideTo();
    const std::string movedBytes = readFileBytes(store.movedAsideTo());
    EXPECT_EQ(movedBytes.size(), damagedBytes.size());
    EXPECT_TRUE(movedBytes == damagedBytes) << "first difference at "
        << std::mismatch(movedBytes.begin(), movedBytes.end(), damagedBytes.begin()).first - movedBytes.begin();
    EXPECT_TRUE(store.rows().empty());
    ASSERT_TRUE(store.insert(entry(Now, "10.0.0.1", "after")));
    EXPECT_EQ(store.rows().size(), 1u);
  }
}

// No journal can be had (the folder cannot be made): open says so, every write is refused,
// nothing throws.
TEST_F(JournalStoreTest, UnopenableJournalFailsQuietly) {
  const std::string blocker = dir.path().toStdString() + "/file";
  writeFileBytes(blocker, "x");
  TJournalStore store(blocker + "/sub/journal.sqlite");
  EXPECT_EQ(store.open(), EJournalOpen::Failed);
  EXPECT_FALSE(store.lastError().empty());
  EXPECT_FALSE(store.insert(entry(Now, "10.0.0.1", "a")));
  EXPECT_FALSE(store.update(1, TJournalUpdate{}));
  EXPECT_TRUE(store.rows().empty());
  EXPECT_EQ(store.applyRetention(Now, 90, 1).rowsRemoved, 0);
  EXPECT_EQ(readFileBytes(blocker), "x");
}

// One day as CSV, oldest first, with its pictures beside it under the names the CSV gives; a
// caller's identity can never become a spreadsheet formula.
TEST_F(JournalStoreTest, ExportWritesTheDayAsCsvWithItsPictures) {
  TJournalStore store(path);
  ASSERT_EQ(store.open(), EJournalOpen::Opened);
  const auto first = store.insert(entry(Now, "10.0.0.1", "=HYPERLINK(\"x\")"));
  const auto second = store.insert(
      entry(Now + 60'000, "10.0.0.2", "Bob, \"the\" visitor", EJournalOutcome::Waited));
  ASSERT_TRUE(store.insert(entry(Now - 5 * Day, "10.0.0.1", "another day")));
  ASSERT_TRUE(first && second);
  const std::vector<unsigned char> jpeg = jpegOf(64, 48, Qt::red);
  ASSERT_TRUE(store.setPicture(*first, jpeg));
  TJournalUpdate later;
  later.watchedMs = 3'450;
  later.doorOpened = true;
  later.relayResult = "ok: opened";
  ASSERT_TRUE(store.update(*first, later));

  const std::string out = dir.path().toStdString() + "/export";
  fs::create_directories(out);
  ASSERT_TRUE(store.exportDay("2025-12-06", out)) << store.lastError();
  const std::string csv = readFileBytes(out + "/journal-2025-12-06.csv");
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = csv.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(csv.substr(at, end - at));
  ASSERT_EQ(lines.size(), 3u) << csv;
  EXPECT_EQ(lines[0].rfind("time,panel,calling,called,outcome,watched_s,", 0), 0u);
  // Oldest first; the formula is quoted and neutralised.
  EXPECT_NE(lines[1].find(",\"10.0.0.1\",\"'=HYPERLINK(\"\"x\"\")\",\"100@host\",\"shown\",3.4,1,"
                          "\"ok: opened\",0,0,\""),
            std::string::npos)
      << lines[1];
  EXPECT_NE(lines[2].find("\"Bob, \"\"the\"\" visitor\""), std::string::npos) << lines[2];
  EXPECT_NE(lines[2].find("\"waited\""), std::string::npos);
  EXPECT_EQ(lines[2].substr(lines[2].size() - 3), ",\"\"") << "no picture, no name";

  const std::size_t name = lines[1].rfind(",\"") + 2;
  const std::string pictureName = lines[1].substr(name, lines[1].size() - name - 1);
  EXPECT_EQ(pictureName.rfind("2025-12-06-", 0), 0u) << pictureName;
  const std::string written = readFileBytes(out + "/" + pictureName);
  EXPECT_EQ(std::vector<unsigned char>(written.begin(), written.end()), jpeg);
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2)
      << "the CSV and one picture";

  EXPECT_FALSE(store.exportDay("2025-12-06", out + "/missing/folder"));
  EXPECT_FALSE(store.lastError().empty());
}

#ifdef OSTREL_JOURNAL_CRASH_HELPER
// The suite kills 60 times; the long check (scripts/long-checks.sh) asks for more.
int crashRounds() {
  const char* rounds = std::getenv("OSTREL_CRASH_ROUNDS");
  return rounds && std::atoi(rounds) > 0 ? std::atoi(rounds) : 60;
}

// The program is killed while it writes the journal: the file must open as it is (never taken
// for damaged), keep every row written before, and hold no torn row or picture.
TEST_F(JournalStoreTest, AProcessKilledMidWriteLeavesAWholeJournal) {
  std::size_t seen = 0;
  for (int round = 0; round < crashRounds(); ++round) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      execl(OSTREL_JOURNAL_CRASH_HELPER, OSTREL_JOURNAL_CRASH_HELPER, path.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    // Wait until it has written one row of its own, so the kill lands inside the loop.
    pollfd p{out[0], POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 30000), 1) << "helper never wrote";
    char c = 0;
    ASSERT_EQ(read(out[0], &c, 1), 1);
    // The instant of the kill is what this test varies; nothing is awaited here.
    usleep(static_cast<useconds_t>((round * 977) % 4000));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(out[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "helper stopped on its own, status " << status;

    TJournalStore store(path);
    ASSERT_EQ(store.open(), EJournalOpen::Opened) << "round " << round << ": " << store.lastError();
    const std::vector<TJournalRow> rows = store.rows();
    ASSERT_GT(rows.size(), seen) << "round " << round << ": rows written before were lost";
    seen = rows.size();
    // Newest first, numbered 1..n without a gap.
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const std::int64_t n = static_cast<std::int64_t>(rows.size() - i);
      const TJournalRow& row = rows[i];
      ASSERT_EQ(row.entry.calling, "gen-" + std::to_string(n)) << "round " << round;
      ASSERT_EQ(row.entry.ringTimeMs, crashRow(n).ringTimeMs);
      // A picture or an update may be missing where the kill fell between the writes of a
      // row, but what is there is never torn. Older rows were the newest of an earlier round.
      if (row.hasPicture && i < 5) {
        ASSERT_EQ(store.picture(row.id), crashPicture(n)) << "round " << round << " row " << n;
      }
      ASSERT_TRUE(row.watchedMs == 0 || row.watchedMs == n) << "round " << round << " row " << n;
    }
  }
}
#endif

}  // namespace
