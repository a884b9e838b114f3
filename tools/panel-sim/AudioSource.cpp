#include "tools/panel-sim/AudioSource.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>

namespace {

void putLe(std::string& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t getLe(const std::string& in, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i)
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
  return v;
}

}  // namespace

std::string waveFormatEx(const TPcmFormat& format) {
  std::string out;
  putLe(out, 1, 2);  // PCM
  putLe(out, format.channels, 2);
  putLe(out, format.rate, 4);
  putLe(out, format.rate * format.blockAlign(), 4);
  putLe(out, format.blockAlign(), 2);
  putLe(out, format.bits, 2);
  putLe(out, 0, 2);
  return out;
}

TWavFile readWavFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
    throw std::runtime_error(path + " is not a WAVE file");
  TWavFile wav;
  bool haveFormat = false;
  for (std::size_t at = 12; at + 8 <= bytes.size();) {
    const std::string id = bytes.substr(at, 4);
    const std::size_t size = getLe(bytes, at + 4, 4);
    const std::size_t body = at + 8;
    if (size > bytes.size() - body) throw std::runtime_error(path + ": a chunk runs past the end");
    if (id == "fmt " && size >= 16) {
      if (getLe(bytes, body, 2) != 1) throw std::runtime_error(path + " is not PCM");
      wav.format.channels = static_cast<std::uint16_t>(getLe(bytes, body + 2, 2));
      wav.format.rate = getLe(bytes, body + 4, 4);
      wav.format.bits = static_cast<std::uint16_t>(getLe(bytes, body + 14, 2));
      haveFormat = true;
    } else if (id == "data") {
      wav.samples = bytes.substr(body, size);
    }
    at = body + size + (size & 1);
  }
  if (!haveFormat || wav.format.blockAlign() == 0 || wav.format.rate == 0)
    throw std::runtime_error(path + " has no usable PCM format");
  wav.samples.resize(wav.samples.size() - wav.samples.size() % wav.format.blockAlign());
  if (wav.samples.empty()) throw std::runtime_error(path + " has no samples");
  return wav;
}

TAudioSource::TAudioSource(const TPcmFormat& format, double toneHz, double peak)
    : m_format(format), m_toneHz(toneHz), m_peak(peak) {}

TAudioSource::TAudioSource(TWavFile wav) : m_format(wav.format), m_wav(std::move(wav.samples)) {}

std::string TAudioSource::next(std::uint64_t frames) {
  std::string out;
  const std::size_t bytes = static_cast<std::size_t>(frames) * m_format.blockAlign();
  if (!m_wav.empty()) {
    while (out.size() < bytes) {
      const std::size_t n = std::min(bytes - out.size(), m_wav.size() - m_wavAt);
      out.append(m_wav, m_wavAt, n);
      m_wavAt = (m_wavAt + n) % m_wav.size();
    }
    return out;
  }
  out.reserve(bytes);
  for (std::uint64_t f = 0; f < frames; ++f, ++m_frame) {
    const double t = static_cast<double>(m_frame) / m_format.rate;
    const double v = m_toneHz > 0 ? m_peak * std::sin(2 * std::numbers::pi * m_toneHz * t) : 0.0;
    for (int c = 0; c < m_format.channels; ++c) {
      if (m_format.bits == 8) {
        out += static_cast<char>(static_cast<unsigned char>(128 + std::lround(v * 127)));
      } else {
        putLe(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v * 32767))),
              2);
      }
    }
  }
  return out;
}
