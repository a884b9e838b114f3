#pragma once

#include <cstdint>
#include <vector>

// Resamples one 8-bit plane (a JPEG's Y, Cb or Cr samples) to another size with a separable
// filter in fixed point. When reducing, the filter widens with the reduction so that every
// source sample counts (no aliasing of fine detail such as the panels' text overlays).
// Vertical pass first: when reducing it leaves fewer rows for the horizontal pass.
//
// `extentWidth` x `extentHeight` is the part of the picture the plane covers, in its own samples:
// a chroma plane of a 641-wide 4:2:0 picture has 321 samples but covers 320.5 of them, and its
// samples are centred in their 2 x 2 luma blocks, as JPEG places them.
struct TPlane {
  const std::uint8_t* data = nullptr;
  int stride = 0;
  int width = 0;   // samples in a row
  int height = 0;  // rows
};

// Triangle: linear interpolation, widened when reducing to an area-like average; the cheapest
// filter that does not alias. CatmullRom: Keys' cubic (a = -0.5), sharper, twice the taps.
enum class EPlaneFilter { Triangle, CatmullRom };

// The filter for one axis: for each output sample a window of `taps` consecutive source samples
// from `start[i]` (always inside the plane: the weights of samples past an edge are added to
// the edge sample) and `taps` weights in 1/16384ths that sum to 16384.
struct TPlaneAxis {
  static constexpr int WeightBits = 14;
  int taps = 0;
  std::vector<int> start;
  std::vector<std::int16_t> weight;

  static TPlaneAxis make(int sourceSamples, double sourceExtent, int outputSamples,
                         EPlaneFilter filter);
};

// Keeps the axes it made and its scratch rows between calls: the sizes rarely change, so a
// scaler kept from frame to frame computes its tables once.
class TPlaneScaler {
 public:
  // Portable: plain loops only, on any CPU. Sse2 (every x86-64), Avx2: vector code where the
  // CPU has it, else portable. Fastest: the best this CPU has. All give the same bytes.
  enum class EKernels { Portable, Sse2, Avx2, Fastest };
  explicit TPlaneScaler(EKernels kernels = EKernels::Fastest);

  // Writes outputWidth x outputHeight samples at `output` (rows `outputStride` apart).
  void scale(const TPlane& source, double extentWidth, double extentHeight, EPlaneFilter filter,
             std::uint8_t* output, int outputStride, int outputWidth, int outputHeight);

  // The same for 32-bit pixels (BGRA: four 8-bit channels, each resampled on its own) over
  // the whole picture: `source.width` counts pixels, `source.stride` bytes.
  void scalePixels(const TPlane& source, EPlaneFilter filter, std::uint8_t* output,
                   int outputStride, int outputWidth, int outputHeight);

  // True when `kernels` runs vector code on this CPU.
  static bool vectorised(EKernels kernels);

 private:
  struct TKeyedAxis {
    int sourceSamples;
    double sourceExtent;
    int outputSamples;
    EPlaneFilter filter;
    TPlaneAxis axis;
  };
  const TPlaneAxis& axisFor(int sourceSamples, double sourceExtent, int outputSamples,
                            EPlaneFilter filter);
  void makeRoomForTwoAxes();

  using TVerticalRow = void (*)(const std::uint8_t* first, int stride, const std::int16_t* weight,
                                int taps, int width, std::uint8_t* out);
  TVerticalRow m_verticalRow = nullptr;  // null: the portable loops
  std::vector<TKeyedAxis> m_axes;
  std::vector<std::uint8_t> m_rows;
  std::vector<std::uint8_t> m_columns;
};
