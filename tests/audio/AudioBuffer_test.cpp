#include "audio/AudioBuffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "tests/support/QtTestSupport.h"

namespace {

void append(TAudioBuffer& fifo, const std::string& bytes, std::size_t queued = 0) {
  char* place = fifo.BeginAppend(bytes.size());
  std::memcpy(place, bytes.data(), bytes.size());
  fifo.EndAppend(bytes.size(), queued);
}

std::string takeAll(TAudioBuffer& fifo, std::size_t queued = 0) {
  void* data = nullptr;
  std::size_t size = 0;
  if (!fifo.TakeAll(data, size, queued)) return "<none>";
  std::string bytes(static_cast<char*>(data), size);
  std::free(data);
  return bytes;
}

TEST(AudioBufferTest, TakeAllHandsOverEverythingInOrderAndLeavesItEmpty) {
  TAudioBuffer fifo;
  EXPECT_EQ(takeAll(fifo), "<none>");
  append(fifo, "abc");
  append(fifo, "de");
  EXPECT_EQ(fifo.size(), 5u);
  EXPECT_EQ(takeAll(fifo), "abcde");
  EXPECT_EQ(takeAll(fifo), "<none>");
  append(fifo, "x");
  fifo.Clear();
  EXPECT_EQ(takeAll(fifo), "<none>");
}

TEST(AudioBufferTest, AShortReadGivesBackWhatWasNotFilledAndAnEmptyAppendIsNoBlock) {
  TAudioBuffer fifo;
  char* place = fifo.BeginAppend(8);
  std::memcpy(place, "ab", 2);
  fifo.EndAppend(2);
  EXPECT_EQ(takeAll(fifo), "ab");
  // A failed read appends nothing; a zero-byte block would read as the end of data.
  fifo.BeginAppend(4);
  fifo.EndAppend(0);
  EXPECT_EQ(takeAll(fifo), "<none>");
}

// The bound: FIFO + what the device already holds stays within maxBytes, oldest bytes first.
struct TBoundCase {
  const char* name;
  std::size_t maxBytes, align;
  std::string first, second;  // appended one after the other
  std::size_t queuedAtAppend, queuedAtTake;
  std::string taken;
};

TEST(AudioBufferTest, TheBoundDropsTheOldestWholeBlockAlignments) {
  const TBoundCase cases[] = {
      {"within the bound nothing goes", 8, 2, "aabb", "cc", 0, 0, "aabbcc"},
      {"beyond it the oldest bytes go", 6, 2, "aabbcc", "dd", 0, 0, "bbccdd"},
      {"the device's queue counts", 8, 2, "aabbcc", "dd", 4, 4, "ccdd"},
      {"an odd excess rounds up to a whole sample", 7, 2, "aabbcc", "dd", 0, 0, "bbccdd"},
      {"stereo 16-bit frames stay whole", 8, 4, "aaaabbbb", "cc", 0, 0, "bbbbcc"},
      {"the take is cut to what the device leaves room for", 8, 2, "aabbcc", "", 0, 4, "bbcc"},
      {"a full device leaves nothing to take", 4, 2, "aabb", "", 0, 4, "<none>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TAudioBuffer fifo;
    fifo.setBound(c.maxBytes, c.align);
    append(fifo, c.first, c.queuedAtAppend);
    if (!c.second.empty()) append(fifo, c.second, c.queuedAtAppend);
    EXPECT_EQ(takeAll(fifo, c.queuedAtTake), c.taken);
  }
}

TEST(AudioBufferTest, DroppingIsLoggedOncePerEpisode) {
  TCapturedLog log;
  TAudioBuffer fifo;
  fifo.setBound(8, 2);
  auto drops = [&] {
    int n = 0;
    for (const auto& t : log.texts()) n += t == TAudioBuffer::DropLogText;
    return n;
  };
  append(fifo, "aabbccdd");
  EXPECT_EQ(drops(), 0);
  append(fifo, "ee");  // the episode starts
  append(fifo, "ff");  // and goes on: a fast panel keeps the FIFO at the bound
  append(fifo, "gg");
  EXPECT_EQ(drops(), 1);
  EXPECT_EQ(fifo.droppedBytes(), 6u);
  EXPECT_EQ(takeAll(fifo), "ddeeffgg");
  append(fifo, "aabbcc", 8);  // still a second behind, on the device: the same episode
  EXPECT_EQ(drops(), 1);
  takeAll(fifo);
  append(fifo, "aa");  // played: the delay is gone
  append(fifo, "bbccdd");
  append(fifo, "ee");  // a new episode
  EXPECT_EQ(drops(), 2);
}

// The player may take from its own thread while the socket appends: every byte arrives once,
// in order, whatever the interleaving (and ThreadSanitizer sees the lock).
TEST(AudioBufferTest, BytesAppendedWhileAConsumerThreadTakesAreNeverLost) {
  TAudioBuffer fifo;
  constexpr int Appends = 20000;
  std::atomic<bool> done{false};
  std::string received;
  std::thread consumer([&] {
    for (;;) {
      const bool last = done.load();
      void* data = nullptr;
      std::size_t size = 0;
      if (fifo.TakeAll(data, size)) {
        received.append(static_cast<char*>(data), size);
        std::free(data);
      } else if (last) {
        return;
      }
    }
  });
  std::string sent;
  for (int i = 0; i < Appends; ++i) {
    const std::string piece = std::to_string(i) + ",";
    sent += piece;
    append(fifo, piece);
  }
  done = true;
  consumer.join();
  EXPECT_EQ(received.size(), sent.size());
  EXPECT_TRUE(received == sent);
}

}  // namespace
