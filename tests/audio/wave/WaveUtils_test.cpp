// The format and sample helpers: the numbers the device is opened with and the level bar shows.
#include "audio/wave/WaveUtils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TWaveFormat pcm(int id) {
  TWaveFormat format;
  EXPECT_TRUE(InitPCMFormatByID(format, id));
  return format;
}

TEST(WaveUtils, FormatsFromTheirIds) {
  struct TCase {
    TPCMFormat id;
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
    uint32_t bytesPerSec;
  };
  // Rate, size and channels each come from different digits of the id.
  const TCase cases[] = {
      {Mono8Bit8000Hz, 1, 8000, 8, 8000},      {Mono16bit8000Hz, 1, 8000, 16, 16000},
      {Stereo8bit11025Hz, 2, 11025, 8, 22050}, {Stereo16bit22050Hz, 2, 22050, 16, 88200},
      {Mono16bit44100Hz, 1, 44100, 16, 88200}, {Stereo16bit48000Hz, 2, 48000, 16, 192000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    const TWaveFormat format = pcm(c.id);
    EXPECT_EQ(format.wFormatTag, kWaveFormatPcm);
    EXPECT_EQ(format.nChannels, c.channels);
    EXPECT_EQ(format.nSamplesPerSec, c.rate);
    EXPECT_EQ(format.wBitsPerSample, c.bits);
    EXPECT_EQ(format.nBlockAlign, c.channels * c.bits / 8);
    EXPECT_EQ(format.nAvgBytesPerSec, c.bytesPerSec);
    EXPECT_EQ(format.cbSize, 0);
  }
}

TEST(WaveUtils, IdOutsideTheTableLeavesTheFormatAlone) {
  for (int id : {0, 21, -1}) {
    TWaveFormat format;
    format.nSamplesPerSec = 1234;
    EXPECT_FALSE(InitPCMFormatByID(format, id));
    EXPECT_EQ(format.nSamplesPerSec, 1234u);
  }
}

TEST(WaveUtils, BufferSizeForDuration) {
  struct TCase {
    TPCMFormat id;
    uint32_t ms;
    uint32_t bytes;
  };
  const TCase cases[] = {
      {Mono16bit8000Hz, 10, 160},  // the receiver's silence request
      {Mono16bit8000Hz, 1000, 16000}, {Mono8Bit8000Hz, 1, 8},
      {Mono16bit11025Hz, 13, 288},    // 286.65 rounds to 287, then up to whole samples
      {Stereo16bit11025Hz, 13, 576},  // 573.3 rounds to 573, then up to whole frames of 4
      {Mono8bit11025Hz, 1, 11},       // 11.025: no alignment for one byte per frame
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.id) + " " + std::to_string(c.ms));
    EXPECT_EQ(BufferSizeForDuration(pcm(c.id), c.ms), c.bytes);
  }
}

std::vector<unsigned char> samples16(std::initializer_list<int16_t> values) {
  std::vector<unsigned char> bytes;
  for (int16_t v : values) {
    bytes.push_back(static_cast<unsigned char>(v & 0xFF));
    bytes.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
  }
  return bytes;
}

TEST(WaveUtils, PeakLevelPercent) {
  struct TCase {
    const char* what;
    TWaveFormat format;
    std::vector<unsigned char> data;
    int level;
  };
  TWaveFormat pcm24 = pcm(Mono16bit8000Hz);
  pcm24.wBitsPerSample = 24;
  TWaveFormat adpcm = pcm(Mono16bit8000Hz);
  adpcm.wFormatTag = 2;
  const TCase cases[] = {
      {"16-bit, only negative samples", pcm(Mono16bit8000Hz), samples16({-1, -32768, -200}), 0},
      {"16-bit, largest 16384", pcm(Mono16bit8000Hz), samples16({-30000, 16384, 100}), 50},
      {"16-bit, full scale", pcm(Mono16bit8000Hz), samples16({32767}), 100},
      {"16-bit, low byte first", pcm(Mono16bit8000Hz), {0xFF, 0x0C}, 10},  // 3327
      {"8-bit, top", pcm(Mono8Bit8000Hz), {0, 255}, 100},
      {"8-bit, half", pcm(Mono8Bit8000Hz), {192, 10}, 50},
      {"8-bit, below the middle", pcm(Mono8Bit8000Hz), {127, 0}, 0},
      {"empty", pcm(Mono16bit8000Hz), {}, 0},
      {"24-bit PCM", pcm24, {1, 2, 3}, -1},
      {"not PCM", adpcm, {1, 2, 3}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(PeakLevelPercent(c.data.data(), static_cast<uint32_t>(c.data.size()), c.format),
              c.level);
  }
}

TEST(WaveUtils, FillWithSilence) {
  unsigned char data[4] = {1, 2, 3, 4};
  EXPECT_TRUE(FillWithSilence(data, 4, pcm(Mono8Bit8000Hz)));
  EXPECT_EQ(std::vector<unsigned char>(data, data + 4), std::vector<unsigned char>(4, 128));
  EXPECT_TRUE(FillWithSilence(data, 4, pcm(Stereo16bit8000Hz)));
  EXPECT_EQ(std::vector<unsigned char>(data, data + 4), std::vector<unsigned char>(4, 0));
  TWaveFormat pcm24 = pcm(Mono16bit8000Hz);
  pcm24.wBitsPerSample = 24;
  data[0] = 7;
  EXPECT_FALSE(FillWithSilence(data, 4, pcm24));
  EXPECT_EQ(data[0], 7);
}

}  // namespace
