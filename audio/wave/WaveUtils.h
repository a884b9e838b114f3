#pragma once

#include <cstdint>

#include "platform/WaveOutDevice.h"

// PCM formats and the sample helpers of the live player.

// The fixed formats a player can be given, by rate, sample size and channels. Value v (1..20)
// selects the rate (v - 1) / 4, 16 bits when ((v - 1) % 4) / 2 is 1, stereo when (v - 1) % 2 is 1.
enum TPCMFormat : uint8_t {
  nonePCM,  // no fixed format: the owner supplies one when the device opens
  Mono8Bit8000Hz,
  Stereo8bit8000Hz,
  Mono16bit8000Hz,
  Stereo16bit8000Hz,
  Mono8bit11025Hz,
  Stereo8bit11025Hz,
  Mono16bit11025Hz,
  Stereo16bit11025Hz,
  Mono8bit22050Hz,
  Stereo8bit22050Hz,
  Mono16bit22050Hz,
  Stereo16bit22050Hz,
  Mono8bit44100Hz,
  Stereo8bit44100Hz,
  Mono16bit44100Hz,
  Stereo16bit44100Hz,
  Mono8bit48000Hz,
  Stereo8bit48000Hz,
  Mono16bit48000Hz,
  Stereo16bit48000Hz,
};

// The rates of TPCMFormat, by rate index.
inline constexpr uint32_t kPCMRates[] = {8000, 11025, 22050, 44100, 48000};

// round(a * b / c), halves away from zero; -1 when c is 0.
int64_t MulDiv(int64_t a, int64_t b, int64_t c);

// Fills an 18-byte PCM format (cbSize 0). A rate index outside 0..4 leaves it untouched (false).
bool InitPCMFormat(TWaveFormat& format, bool stereo, int rateIndex, bool sixteenBits);
// The same from a TPCMFormat value; an id outside 1..20 leaves the format untouched (false).
bool InitPCMFormatByID(TWaveFormat& format, int id);

// Bytes of `ms` milliseconds, rounded to nearest, then up to a whole number of sample frames.
uint32_t BufferSizeForDuration(const TWaveFormat& format, uint32_t ms);

// Peak of the positive half of the samples in percent of full scale (0..100); 0 for no data;
// -1 unless the format is PCM with 8 or 16 bits.
int PeakLevelPercent(const void* data, uint32_t size, const TWaveFormat& format);

// Fills with the format's silence (128 for 8 bits, 0 for 16); false, data untouched, for any
// other format.
bool FillWithSilence(void* data, uint32_t size, const TWaveFormat& format);
