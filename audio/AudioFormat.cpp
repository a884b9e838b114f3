#include "audio/AudioFormat.h"

#include <array>

namespace {

constexpr std::array<std::uint32_t, 5> Rates = {8000, 11025, 22050, 44100, 48000};

std::uint32_t le(const std::vector<char>& b, std::size_t at, std::size_t bytes) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < bytes; ++i)
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + i])) << (8 * i);
  return v;
}

}  // namespace

TAudioFormat audioFormatOfId(int id) {
  if (id < 1 || id > 20) id = 3;
  TAudioFormat f;
  f.pcmFormatId = id;
  f.samplesPerSec = Rates[static_cast<std::size_t>((id - 1) / 4)];
  f.bitsPerSample = ((id - 1) % 4) / 2 == 1 ? 16 : 8;
  f.channels = (id - 1) % 2 == 1 ? 2 : 1;
  f.blockAlign = static_cast<std::uint16_t>(f.channels * f.bitsPerSample / 8);
  return f;
}

TFormatChoice chooseAudioFormat(const std::vector<char>& block) {
  TFormatChoice choice;
  // wFormatTag .. wBitsPerSample; cbSize may be left out.
  if (block.size() < 16) return choice;
  const std::uint32_t tag = le(block, 0, 2);
  const std::uint32_t channels = le(block, 2, 2);
  const std::uint32_t rate = le(block, 4, 4);
  const std::uint32_t align = le(block, 12, 2);
  const std::uint32_t bits = le(block, 14, 2);
  if (tag != 1 || (channels != 1 && channels != 2) || (bits != 8 && bits != 16)) return choice;
  if (align != channels * bits / 8) return choice;
  for (std::size_t r = 0; r < Rates.size(); ++r) {
    if (Rates[r] != rate) continue;
    const int id = static_cast<int>(r) * 4 + (bits == 16 ? 2 : 0) + (channels == 2 ? 1 : 0) + 1;
    choice.format = audioFormatOfId(id);
    choice.used = true;
  }
  return choice;
}
