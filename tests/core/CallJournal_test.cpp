// What the call recorder writes, through the journal's own thread into a real file.
#include "core/CallJournal.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <optional>

#include "tests/support/Fakes.h"
#include "tests/support/QtTestSupport.h"

namespace {

using namespace std::chrono_literals;

TJournalBytes bytesOf(std::string text) {
  return std::make_shared<const std::vector<unsigned char>>(text.begin(), text.end());
}

std::vector<unsigned char> plain(const std::string& text) { return {text.begin(), text.end()}; }

class CallJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    ASSERT_TRUE(dir.isValid());
    journal.open([this](EJournalOpen result, const std::string&) { opened = result; });
    ASSERT_TRUE(waitUntil([this] { return opened.has_value(); }, 30s));
    ASSERT_EQ(*opened, EJournalOpen::Opened);
  }
  // Newest first, as the window reads them once the writes are through.
  std::vector<TJournalRow> rows() {
    journal.flush();
    TJournalStore reader(path);
    EXPECT_TRUE(reader.openForReading());
    return reader.rows();
  }
  std::vector<unsigned char> picture(std::int64_t id) {
    TJournalStore reader(path);
    EXPECT_TRUE(reader.openForReading());
    return reader.picture(id);
  }

  QTemporaryDir dir;
  std::string path = dir.path().toStdString() + "/journal.sqlite";
  TFakeClock clock;
  TJournal journal{path};
  std::optional<EJournalOpen> opened;
  TCallJournal calls{journal, clock, [] { return std::int64_t{1'765'000'000'000}; }};
};

// A shown call keeps its own first frame, how long it was watched, the door and the voice
// message; a waiting call picked later is watched in its turn; other outcomes are rows only.
TEST_F(CallJournalTest, ACallSequenceWritesWhatHappenedToEachCall) {
  calls.callArrived("10.0.0.1", "Alice", "100@host", EJournalOutcome::Shown);
  calls.followStream(true, "10.0.0.1");
  calls.frameShown("10.0.0.9", bytesOf("frame of another panel"));
  calls.frameShown("10.0.0.1", bytesOf("first frame of A"));
  calls.frameShown("10.0.0.1", bytesOf("second frame of A"));
  calls.callArrived("10.0.0.2", "Bob", "100@host", EJournalOutcome::Waited);
  calls.callArrived("10.0.0.3", "Eve", "999@host", EJournalOutcome::RejectedCalled);
  const std::optional<TCallJournal::TToken> alice = calls.watchedCall();
  ASSERT_TRUE(alice);
  calls.doorCommand(*alice, true, "OK");
  calls.voiceMessageSent(*alice);
  clock.advance(7s);
  calls.followStream(true, "10.0.0.1");  // the same stream going on changes nothing
  calls.followStream(false, "10.0.0.1");
  EXPECT_FALSE(calls.watchedCall());
  calls.frameShown("10.0.0.1", bytesOf("a late frame"));

  // The user picks Bob from the wait list.
  calls.followStream(true, "10.0.0.2");
  ASSERT_TRUE(calls.watchedCall());
  EXPECT_NE(*calls.watchedCall(), *alice);
  clock.advance(3s);
  calls.frameShown("10.0.0.2", bytesOf("first frame of B"));
  // The favourite panel is streamed next: Bob's call is over, and nothing becomes watched.
  calls.followStream(true, "10.0.0.7");
  EXPECT_FALSE(calls.watchedCall());

  const std::vector<TJournalRow> list = rows();
  ASSERT_EQ(list.size(), 3u);
  const TJournalRow& eve = list[0];
  const TJournalRow& bob = list[1];
  const TJournalRow& a = list[2];
  EXPECT_EQ(a.entry.outcome, EJournalOutcome::Shown);
  EXPECT_EQ(a.entry.calling, "Alice");
  EXPECT_EQ(a.entry.called, "100@host");
  EXPECT_EQ(a.entry.panel, "10.0.0.1");
  EXPECT_EQ(a.entry.ringTimeMs, 1'765'000'000'000);
  EXPECT_FALSE(a.entry.day.empty());
  EXPECT_EQ(a.watchedMs, 7000);
  EXPECT_TRUE(a.doorOpened);
  EXPECT_EQ(a.relayResult, "OK");
  EXPECT_TRUE(a.voiceSent);
  EXPECT_EQ(picture(a.id), plain("first frame of A"));

  EXPECT_EQ(bob.entry.outcome, EJournalOutcome::Waited);
  EXPECT_EQ(bob.watchedMs, 3000);
  EXPECT_EQ(picture(bob.id), plain("first frame of B"));
  EXPECT_FALSE(bob.doorOpened);

  EXPECT_EQ(eve.entry.outcome, EJournalOutcome::RejectedCalled);
  EXPECT_FALSE(eve.hasPicture);
  EXPECT_EQ(eve.watchedMs, 0);
}

// A new shown call while one is watched ends the first one's watching there.
TEST_F(CallJournalTest, ANewShownCallEndsTheWatchedOne) {
  calls.callArrived("10.0.0.1", "Alice", "", EJournalOutcome::Shown);
  clock.advance(2s);
  calls.callArrived("10.0.0.2", "Bob", "", EJournalOutcome::Shown);
  clock.advance(5s);
  calls.followStream(false, "10.0.0.2");
  const std::vector<TJournalRow> list = rows();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].watchedMs, 2000);
  EXPECT_EQ(list[0].watchedMs, 5000);
}

// Writes still queued when the journal goes are finished first: the last call of a run stays.
TEST_F(CallJournalTest, QueuedWritesAreFinishedOnShutdown) {
  {
    TJournal last(dir.path().toStdString() + "/last.sqlite");
    last.open({});
    TCallJournal recorder(last, clock);
    for (int i = 0; i < 200; ++i)
      recorder.callArrived("10.0.0.1", "c" + std::to_string(i), "", EJournalOutcome::Shown);
    recorder.frameShown("10.0.0.1", bytesOf("last frame"));
  }
  TJournalStore reader(dir.path().toStdString() + "/last.sqlite");
  ASSERT_TRUE(reader.openForReading());
  const std::vector<TJournalRow> list = reader.rows();
  ASSERT_EQ(list.size(), 200u);
  EXPECT_EQ(reader.picture(list[0].id), plain("last frame"));
}

// A journal that cannot be opened says so once and swallows every write.
TEST(JournalUnavailable, OpenFailureIsToldAndWritesAreDropped) {
  ensureQtApplication();
  QTemporaryDir dir;
  const std::string blocker = dir.path().toStdString() + "/file";
  writeFileBytes(blocker, "x");
  TJournal journal(blocker + "/journal.sqlite");
  std::optional<EJournalOpen> opened;
  std::string detail;
  journal.open([&](EJournalOpen result, const std::string& why) {
    opened = result;
    detail = why;
  });
  TFakeClock clock;
  TCallJournal calls(journal, clock);
  calls.callArrived("10.0.0.1", "Alice", "", EJournalOutcome::Shown);
  calls.frameShown("10.0.0.1", bytesOf("frame"));
  calls.followStream(false, "");
  journal.flush();
  ASSERT_TRUE(waitUntil([&] { return opened.has_value(); }, 30s));
  EXPECT_EQ(*opened, EJournalOpen::Failed);
  EXPECT_FALSE(detail.empty());
  EXPECT_EQ(readFileBytes(blocker), "x");
}

}  // namespace
