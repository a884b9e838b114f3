#include "audio/wave/WaveUtils.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

int64_t MulDiv(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return -1;
  const int64_t product = a * b;
  const bool negative = (product < 0) != (c < 0);
  const int64_t magnitude = (std::abs(product) + std::abs(c) / 2) / std::abs(c);
  return negative ? -magnitude : magnitude;
}

bool InitPCMFormat(TWaveFormat& format, bool stereo, int rateIndex, bool sixteenBits) {
  if (rateIndex < 0 || rateIndex >= static_cast<int>(std::size(kPCMRates))) return false;
  format.wFormatTag = kWaveFormatPcm;
  format.nChannels = stereo ? 2 : 1;
  format.nSamplesPerSec = kPCMRates[rateIndex];
  format.wBitsPerSample = sixteenBits ? 16 : 8;
  format.nBlockAlign = static_cast<uint16_t>(MulDiv(format.nChannels, format.wBitsPerSample, 8));
  format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
  format.cbSize = 0;
  return true;
}

bool InitPCMFormatByID(TWaveFormat& format, int id) {
  if (id < 1 || id > 20) return false;
  const int v = id - 1;
  return InitPCMFormat(format, v % 2 == 1, v / 4, (v % 4) / 2 == 1);
}

uint32_t BufferSizeForDuration(const TWaveFormat& format, uint32_t ms) {
  auto bytes =
      static_cast<uint64_t>(std::max<int64_t>(0, MulDiv(ms, format.nAvgBytesPerSec, 1000)));
  if (format.nBlockAlign > 1) {
    const uint64_t remainder = bytes % format.nBlockAlign;
    if (remainder != 0) bytes += format.nBlockAlign - remainder;
  }
  return static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX));
}

int PeakLevelPercent(const void* data, uint32_t size, const TWaveFormat& format) {
  if (format.wFormatTag != kWaveFormatPcm) return -1;
  if (format.wBitsPerSample == 16) {
    if (data == nullptr) return 0;
    int peak = 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (uint32_t i = 0; i + 1 < size; i += 2) {
      const auto sample = static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8));
      peak = std::max<int>(peak, sample);
    }
    return peak * 100 / 32767;
  }
  if (format.wBitsPerSample == 8) {
    if (data == nullptr) return 0;
    int peak = 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (uint32_t i = 0; i < size; ++i) peak = std::max<int>(peak, bytes[i]);
    return peak >= 128 ? (peak - 128) * 100 / 127 : 0;
  }
  return -1;
}

bool FillWithSilence(void* data, uint32_t size, const TWaveFormat& format) {
  if (format.wFormatTag != kWaveFormatPcm) return false;
  if (format.wBitsPerSample == 8)
    std::memset(data, 128, size);
  else if (format.wBitsPerSample == 16)
    std::memset(data, 0, size);
  else
    return false;
  return true;
}
