#include "tests/support/SoundAnalysis.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

namespace {

// The energy of one frequency over the samples.
double goertzel(const std::vector<std::int16_t>& samples, int rate, double hz) {
  const double w = 2 * std::numbers::pi * hz / rate;
  const double coeff = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (std::int16_t x : samples) {
    const double s0 = x + coeff * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

}  // namespace

std::vector<std::int16_t> samplesOfS16le(const std::string& bytes) {
  std::vector<std::int16_t> out(bytes.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return out;
}

double dominantFrequency(const std::vector<std::int16_t>& samples, int rate, double minHz,
                         double maxHz) {
  if (samples.empty()) return 0;
  auto best = [&](double from, double to, double step) {
    double bestHz = from, bestEnergy = -1;
    for (double hz = from; hz <= to; hz += step) {
      const double e = goertzel(samples, rate, hz);
      if (e > bestEnergy) {
        bestEnergy = e;
        bestHz = hz;
      }
    }
    return bestHz;
  };
  const double coarse = best(minHz, maxHz, 1.0);
  return best(coarse - 1, coarse + 1, 0.1);
}

double longestGapMs(const std::vector<std::int16_t>& samples, int rate, double fromMs,
                    int threshold) {
  const std::size_t first = static_cast<std::size_t>(fromMs * rate / 1000);
  std::size_t longest = 0, run = 0;
  for (std::size_t i = first; i < samples.size(); ++i) {
    run = std::abs(static_cast<int>(samples[i])) <= threshold ? run + 1 : 0;
    if (run > longest) longest = run;
  }
  return 1000.0 * static_cast<double>(longest) / rate;
}

double rms(const std::vector<std::int16_t>& samples) {
  if (samples.empty()) return 0;
  double sum = 0;
  for (std::int16_t s : samples) sum += static_cast<double>(s) * s;
  return std::sqrt(sum / static_cast<double>(samples.size()));
}

std::vector<std::int16_t> samplesOfU8(const std::string& bytes) {
  std::vector<std::int16_t> samples;
  samples.reserve(bytes.size());
  for (char c : bytes)
    samples.push_back(static_cast<std::int16_t>((static_cast<unsigned char>(c) - 128) * 256));
  return samples;
}
