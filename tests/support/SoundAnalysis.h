#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Analysis of recorded sound for the tests of the real sound path: 16-bit mono samples at a
// known rate. Plain C++, no Qt.

// s16le bytes to samples (a trailing odd byte is ignored).
std::vector<std::int16_t> samplesOfS16le(const std::string& bytes);

// Unsigned 8-bit bytes (128 is silence) to the same scale of samples.
std::vector<std::int16_t> samplesOfU8(const std::string& bytes);

// The frequency in [minHz, maxHz] with the most energy (Goertzel, 1 Hz steps then refined to
// 0.1 Hz). 0 when there are no samples.
double dominantFrequency(const std::vector<std::int16_t>& samples, int rate, double minHz = 50,
                         double maxHz = 2000);

// The longest run of near-silence (every |sample| <= threshold) starting at or after fromMs,
// in milliseconds. A run still going at the end counts up to the end.
double longestGapMs(const std::vector<std::int16_t>& samples, int rate, double fromMs,
                    int threshold = 1000);

// The root mean square of the samples, 0 for none.
double rms(const std::vector<std::int16_t>& samples);
