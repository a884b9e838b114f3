#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the receiver plays: a TPCMFormat value (1..20) and the figures that follow from it.
struct TAudioFormat {
  int pcmFormatId = 3;  // Mono16bit8000Hz
  std::uint32_t samplesPerSec = 8000;
  std::uint16_t bitsPerSample = 16;
  std::uint16_t channels = 1;
  std::uint16_t blockAlign = 2;
  std::uint32_t bytesPerSec() const { return samplesPerSec * blockAlign; }
};

// The format of a TPCMFormat value 1..20; the default (8000 Hz, 16-bit, mono) outside.
TAudioFormat audioFormatOfId(int pcmFormatId);

// Reads a panel's format block (WAVEFORMATEX, little-endian). PCM of 8 or 16 bits, 1 or 2
// channels, at 8000, 11025, 22050, 44100 or 48000 Hz, with the block alignment that goes with
// them, is played as announced; anything else gives the default format with used false.
struct TFormatChoice {
  TAudioFormat format;
  bool used = false;
};
TFormatChoice chooseAudioFormat(const std::vector<char>& block);
