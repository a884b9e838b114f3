#include "video/PlaneScaler.h"

#include <algorithm>
#include <cmath>

namespace {

// Keys' cubic convolution (a = -0.5, Catmull-Rom): sharp like the windowed sinc of the best
// video scalers at a fraction of its taps, and exact on straight ramps.
double cubic(double x) {
  if (x < 1) return (1.5 * x - 2.5) * x * x + 1;
  if (x < 2) return ((-0.5 * x + 2.5) * x - 4) * x + 2;
  return 0;
}

std::uint8_t clampByte(std::int32_t value) {
  return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

}  // namespace

TPlaneScaler::TAxis TPlaneScaler::axis(int sourceSamples, double sourceExtent, int outputSamples) {
  TAxis axis;
  if (sourceSamples <= 0 || outputSamples <= 0 || sourceExtent <= 0) return axis;
  const double step = sourceExtent / outputSamples;  // source samples per output sample
  const double widen = std::max(1.0, step);
  const double radius = 2 * widen;
  axis.taps = static_cast<int>(std::ceil(2 * radius)) + 1;
  axis.index.resize(static_cast<std::size_t>(outputSamples) * axis.taps);
  axis.weight.resize(axis.index.size());
  std::vector<double> raw(static_cast<std::size_t>(axis.taps));
  for (int i = 0; i < outputSamples; ++i) {
    // Sample centres: output sample i covers [i, i+1) * step of the source.
    const double centre = (i + 0.5) * step - 0.5;
    const int first = static_cast<int>(std::floor(centre - radius)) + 1;
    double sum = 0;
    for (int k = 0; k < axis.taps; ++k) {
      raw[k] = cubic(std::abs(first + k - centre) / widen);
      sum += raw[k];
    }
    int total = 0;
    int heaviest = 0;
    const std::size_t base = static_cast<std::size_t>(i) * axis.taps;
    for (int k = 0; k < axis.taps; ++k) {
      const int w = static_cast<int>(std::lround(raw[k] / sum * (1 << WeightBits)));
      axis.weight[base + k] = static_cast<std::int16_t>(w);
      axis.index[base + k] = std::clamp(first + k, 0, sourceSamples - 1);
      total += w;
      if (raw[k] > raw[heaviest]) heaviest = k;
    }
    // Rounding must not brighten or darken flat areas.
    axis.weight[base + heaviest] =
        static_cast<std::int16_t>(axis.weight[base + heaviest] + (1 << WeightBits) - total);
  }
  return axis;
}

void TPlaneScaler::scale(const TPlane& source, double extentWidth, double extentHeight,
                         std::uint8_t* output, int outputStride, int outputWidth, int outputHeight,
                         std::vector<std::uint8_t>& scratch) {
  const TAxis across = axis(source.width, extentWidth, outputWidth);
  const TAxis down = axis(source.height, extentHeight, outputHeight);
  if (across.taps == 0 || down.taps == 0) return;
  const int width = source.width;
  constexpr int Half = 1 << (WeightBits - 1);

  // Vertical: outputHeight rows of the source's width. The cubic's negative lobes can take a
  // sum past 0..255 at sharp edges: clamped.
  scratch.resize(static_cast<std::size_t>(width) * outputHeight);
  std::vector<std::int32_t> sum(static_cast<std::size_t>(width));
  for (int y = 0; y < outputHeight; ++y) {
    std::fill(sum.begin(), sum.end(), Half);
    for (int k = 0; k < down.taps; ++k) {
      const std::size_t at = static_cast<std::size_t>(y) * down.taps + k;
      const std::int32_t w = down.weight[at];
      if (w == 0) continue;
      const std::uint8_t* row =
          source.data + static_cast<std::ptrdiff_t>(down.index[at]) * source.stride;
      for (int x = 0; x < width; ++x) sum[x] += w * row[x];
    }
    std::uint8_t* out = scratch.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) out[x] = clampByte(sum[x] >> WeightBits);
  }

  // Horizontal, row by row.
  for (int y = 0; y < outputHeight; ++y) {
    const std::uint8_t* row = scratch.data() + static_cast<std::size_t>(y) * width;
    std::uint8_t* out = output + static_cast<std::ptrdiff_t>(y) * outputStride;
    const int* index = across.index.data();
    const std::int16_t* weight = across.weight.data();
    for (int x = 0; x < outputWidth; ++x, index += across.taps, weight += across.taps) {
      std::int32_t value = Half;
      for (int k = 0; k < across.taps; ++k) value += weight[k] * row[index[k]];
      out[x] = clampByte(value >> WeightBits);
    }
  }
}
