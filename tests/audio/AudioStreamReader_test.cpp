#include "audio/AudioStreamReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Bytes as they arrived so far; more can be added between reads.
class TPieces final : public IAudioByteSource {
 public:
  std::string arrived;
  bool failing = false;
  std::int64_t bytesAvailable() const override { return static_cast<std::int64_t>(arrived.size()); }
  std::int64_t read(char* data, std::int64_t max) override {
    if (failing) return -1;
    const std::size_t n = std::min(arrived.size(), static_cast<std::size_t>(max));
    std::memcpy(data, arrived.data(), n);
    arrived.erase(0, n);
    return static_cast<std::int64_t>(n);
  }
};

std::string le(std::uint32_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string waveFormat(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                       std::uint16_t bits, int alignOverride = -1) {
  const std::uint16_t align =
      alignOverride >= 0 ? static_cast<std::uint16_t>(alignOverride) : channels * bits / 8;
  return le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) + le(align, 2) +
         le(bits, 2) + le(0, 2);
}

std::string block(const std::string& format) {
  return le(static_cast<std::uint32_t>(format.size()), 4) + format;
}

std::string takeAll(TAudioBuffer& fifo) {
  void* data = nullptr;
  std::size_t size = 0;
  if (!fifo.TakeAll(data, size)) return "";
  std::string bytes(static_cast<char*>(data), size);
  std::free(data);
  return bytes;
}

using EResult = TAudioStreamReader::EResult;

TEST(AudioStreamReaderTest, FormatBlocksChooseWhatIsPlayed) {
  struct TCase {
    const char* name;
    std::string format;
    int id;
    bool used;
  };
  const TCase cases[] = {
      {"8000 Hz 16-bit mono", waveFormat(1, 1, 8000, 16), 3, true},
      {"8000 Hz 8-bit mono (the capital B one)", waveFormat(1, 1, 8000, 8), 1, true},
      {"22050 Hz 16-bit stereo", waveFormat(1, 2, 22050, 16), 12, true},
      {"48000 Hz 16-bit stereo, the last id", waveFormat(1, 2, 48000, 16), 20, true},
      {"44100 Hz 8-bit stereo", waveFormat(1, 2, 44100, 8), 14, true},
      {"cbSize left out: 16 bytes", waveFormat(1, 1, 11025, 16).substr(0, 16), 7, true},
      {"not PCM (A-law)", waveFormat(6, 1, 8000, 8), 3, false},
      {"a rate no TPCMFormat has", waveFormat(1, 1, 16000, 16), 3, false},
      {"24-bit samples", waveFormat(1, 1, 8000, 24), 3, false},
      {"three channels", waveFormat(1, 3, 8000, 16), 3, false},
      {"a block alignment that does not fit", waveFormat(1, 1, 8000, 16, 3), 3, false},
      {"a block too short for the layout", std::string(10, '\0'), 3, false},
      {"an empty block", "", 3, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TPieces source;
    TAudioBuffer fifo;
    TAudioStreamReader reader;
    source.arrived = block(c.format);
    ASSERT_EQ(reader.readAvailable(source, fifo), EResult::FormatReady);
    EXPECT_EQ(reader.format().pcmFormatId, c.id);
    EXPECT_EQ(reader.formatUsed(), c.used);
    EXPECT_EQ(reader.formatBlock(), std::vector<char>(c.format.begin(), c.format.end()));
  }
}

TEST(AudioStreamReaderTest, AFormatBlockSplitAnywhereIsGatheredUntilWhole) {
  const std::string whole = block(waveFormat(1, 2, 11025, 16)) + "PCMPCMPC";
  const std::size_t formatEnd = whole.size() - 8;
  for (std::size_t cut1 = 0; cut1 <= formatEnd; ++cut1) {
    for (std::size_t cut2 = cut1; cut2 <= formatEnd; ++cut2) {
      SCOPED_TRACE("cut at " + std::to_string(cut1) + " and " + std::to_string(cut2));
      TPieces source;
      TAudioBuffer fifo;
      TAudioStreamReader reader;
      EResult last = EResult::Nothing;
      for (auto [from, to] : {std::pair{std::size_t{0}, cut1}, {cut1, cut2}, {cut2, formatEnd}}) {
        source.arrived += whole.substr(from, to - from);
        if (to > from) last = reader.readAvailable(source, fifo);
        if (to < formatEnd) {
          ASSERT_NE(last, EResult::FormatReady);
        }
      }
      ASSERT_EQ(last, EResult::FormatReady);
      EXPECT_EQ(reader.format().pcmFormatId, 8);
      source.arrived += whole.substr(formatEnd);
      EXPECT_EQ(reader.readAvailable(source, fifo), EResult::Pcm);
      EXPECT_EQ(takeAll(fifo), "PCMPCMPC");
    }
  }
}

TEST(AudioStreamReaderTest, ALengthAbove64KiBIsAFailedReadBeforeAnythingIsKept) {
  for (std::uint32_t length : {TAudioStreamReader::MaxFormatBlock + 1, 0xFFFFFFFFu}) {
    TPieces source;
    TAudioBuffer fifo;
    TAudioStreamReader reader;
    source.arrived = le(length, 4) + "xx";
    EXPECT_EQ(reader.readAvailable(source, fifo), EResult::Failed) << length;
  }
  // 64 KiB itself is still a block.
  TPieces source;
  TAudioBuffer fifo;
  TAudioStreamReader reader;
  source.arrived = block(waveFormat(1, 1, 8000, 16) + std::string(65536 - 18, 'x'));
  EXPECT_EQ(reader.readAvailable(source, fifo), EResult::FormatReady);
  EXPECT_TRUE(reader.formatUsed());
}

TEST(AudioStreamReaderTest, PcmIsAppendedInWholeBlockAlignmentsTheRestWaits) {
  TPieces source;
  TAudioBuffer fifo;
  TAudioStreamReader reader;
  source.arrived = block(waveFormat(1, 2, 8000, 16));  // 4-byte frames
  ASSERT_EQ(reader.readAvailable(source, fifo), EResult::FormatReady);
  source.arrived = "abcdefg";
  EXPECT_EQ(reader.readAvailable(source, fifo), EResult::Pcm);
  EXPECT_EQ(takeAll(fifo), "abcd");
  EXPECT_EQ(source.arrived, "efg");  // kept for the next arrival
  EXPECT_EQ(reader.readAvailable(source, fifo), EResult::Nothing);
  source.arrived += "h";
  EXPECT_EQ(reader.readAvailable(source, fifo), EResult::Pcm);
  EXPECT_EQ(takeAll(fifo), "efgh");
}

TEST(AudioStreamReaderTest, AFailingReadIsAFailedReadInEitherPhase) {
  TPieces source;
  TAudioBuffer fifo;
  TAudioStreamReader reader;
  source.arrived = "\x12";
  source.failing = true;
  EXPECT_EQ(reader.readAvailable(source, fifo), EResult::Failed);
  source.failing = false;
  source.arrived = block(waveFormat(1, 1, 8000, 16));
  reader.reset();
  ASSERT_EQ(reader.readAvailable(source, fifo), EResult::FormatReady);
  source.arrived = "abcd";
  source.failing = true;
  EXPECT_EQ(reader.readAvailable(source, fifo), EResult::Failed);
  EXPECT_EQ(fifo.size(), 0u);
}

}  // namespace
