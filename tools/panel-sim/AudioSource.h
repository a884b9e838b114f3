#pragma once

#include <cstdint>
#include <string>

// The sound a simulated panel sends: PCM samples from a tone, silence or a WAV file, and the
// format block that announces them (a 32-bit little-endian length, then a WAVEFORMATEX).

struct TPcmFormat {
  std::uint32_t rate = 8000;
  std::uint16_t bits = 16;
  std::uint16_t channels = 1;
  std::uint16_t blockAlign() const { return static_cast<std::uint16_t>(channels * bits / 8); }
};

// The 18-byte WAVEFORMATEX of a PCM format.
std::string waveFormatEx(const TPcmFormat& format);

// A WAV file's PCM format and samples. Throws std::runtime_error when the file cannot be read
// or is not PCM WAVE.
struct TWavFile {
  TPcmFormat format;
  std::string samples;
};
TWavFile readWavFile(const std::string& path);

// An endless source of samples, chunk by chunk.
class TAudioSource {
 public:
  // A sine at toneHz with the given peak (a fraction of full scale), or silence when toneHz
  // is 0.
  TAudioSource(const TPcmFormat& format, double toneHz, double peak = 0.5);
  // The file's samples over and over.
  explicit TAudioSource(TWavFile wav);

  const TPcmFormat& format() const { return m_format; }
  // The next `frames` frames.
  std::string next(std::uint64_t frames);

 private:
  TPcmFormat m_format;
  double m_toneHz = 0;
  double m_peak = 0.5;
  std::uint64_t m_frame = 0;  // frames sent so far
  std::string m_wav;          // empty: the tone
  std::size_t m_wavAt = 0;
};
