#pragma once

#include <cstdint>
#include <vector>

// Resamples one 8-bit plane (a JPEG's Y, Cb or Cr samples) to another size with a separable
// cubic filter, widened by the reduction factor when reducing so that every source sample
// counts (no aliasing of fine detail such as the panels' text overlays). Vertical pass first:
// it runs over whole rows and vectorises, and when reducing it leaves fewer rows for the
// horizontal pass.
//
// `extentWidth` x `extentHeight` is the part of the picture the plane covers, in its own samples:
// a chroma plane of a 641-wide 4:2:0 picture has 321 samples but covers 320.5 of them, and its
// samples are centred in their 2 x 2 luma blocks, as JPEG places them.
//
// Plain functions of their arguments; the scratch buffers belong to the caller.
struct TPlane {
  const std::uint8_t* data = nullptr;
  int stride = 0;
  int width = 0;   // samples in a row
  int height = 0;  // rows
};

struct TPlaneScaler {
  // The filter for one axis: for each output sample, `taps` source indexes (clamped inside the
  // plane) and weights in 1/16384ths that sum to 16384.
  struct TAxis {
    int taps = 0;
    std::vector<int> index;
    std::vector<std::int16_t> weight;
  };
  static constexpr int WeightBits = 14;

  static TAxis axis(int sourceSamples, double sourceExtent, int outputSamples);

  // Writes outputWidth x outputHeight samples at `output` (rows `outputStride` apart).
  static void scale(const TPlane& source, double extentWidth, double extentHeight,
                    std::uint8_t* output, int outputStride, int outputWidth, int outputHeight,
                    std::vector<std::uint8_t>& scratch);
};
