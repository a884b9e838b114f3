#include "video/PlaneScaler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

namespace {

using TSamples = std::vector<std::uint8_t>;

double referenceKernel(EPlaneFilter filter, double x) {
  if (filter == EPlaneFilter::Triangle) return x < 1 ? 1 - x : 0;
  if (x < 1) return 1.5 * x * x * x - 2.5 * x * x + 1;
  if (x < 2) return -0.5 * x * x * x + 2.5 * x * x - 4 * x + 2;
  return 0;
}

// One axis the slow way, in doubles: output i is centred on (i + 0.5) * step in the plane's
// extent, the kernel is widened by the step when reducing, samples past an edge repeat the edge,
// and each result is rounded to a byte.
TSamples referencePass(const TSamples& in, int width, int height, bool across, double extent,
                       int outputs, EPlaneFilter filter) {
  const int samples = across ? width : height;
  const int lines = across ? height : width;
  const double step = extent / outputs;
  const double widen = std::max(1.0, step);
  const double radius = (filter == EPlaneFilter::Triangle ? 1 : 2) * widen;
  TSamples out(static_cast<std::size_t>(outputs) * lines);
  for (int i = 0; i < outputs; ++i) {
    const double centre = (i + 0.5) * step - 0.5;
    for (int line = 0; line < lines; ++line) {
      double sum = 0;
      double weights = 0;
      for (int j = static_cast<int>(std::ceil(centre - radius));
           j <= static_cast<int>(std::floor(centre + radius)); ++j) {
        const double w = referenceKernel(filter, std::abs(j - centre) / widen);
        const int at = std::clamp(j, 0, samples - 1);
        sum += w * in[across ? static_cast<std::size_t>(line) * width + at
                             : static_cast<std::size_t>(at) * width + line];
        weights += w;
      }
      const auto value =
          static_cast<std::uint8_t>(std::clamp(std::lround(sum / weights), 0L, 255L));
      out[across ? static_cast<std::size_t>(line) * outputs + i
                 : static_cast<std::size_t>(i) * width + line] = value;
    }
  }
  return out;
}

struct TCase {
  const char* name;
  int width, height;
  double extentWidth, extentHeight;
  int outWidth, outHeight;
  EPlaneFilter filter;
};

// Sizes the program meets (the fitted sizes in the 402 x 258 area of each plane of 640x480,
// 1280x720 and 1920x1080 frames), and the edges: enlarging, odd sizes, planes of one sample,
// reductions that need many taps, rows narrower than a vector and not a multiple of one.
const TCase Cases[] = {
    {"640x480 luma", 640, 480, 640, 480, 344, 258, EPlaneFilter::Triangle},
    {"640x480 4:2:0 chroma", 320, 240, 320, 240, 344, 258, EPlaneFilter::CatmullRom},
    {"640x480 4:2:2 chroma", 320, 480, 320, 480, 344, 258, EPlaneFilter::CatmullRom},
    {"1280x720 luma", 1280, 720, 1280, 720, 402, 226, EPlaneFilter::Triangle},
    {"1280x720 4:2:0 chroma", 640, 360, 640, 360, 402, 226, EPlaneFilter::Triangle},
    {"1920x1080 halved, luma", 960, 540, 960, 540, 402, 226, EPlaneFilter::Triangle},
    {"1920x1080 halved, 4:2:0 chroma", 480, 270, 480, 270, 402, 226, EPlaneFilter::CatmullRom},
    {"odd chroma covering half a sample less", 321, 241, 320.5, 240.5, 343, 257,
     EPlaneFilter::CatmullRom},
    {"enlarged for full screen", 160, 90, 160, 90, 401, 227, EPlaneFilter::CatmullRom},
    {"enlarged, triangle", 33, 17, 33, 17, 70, 41, EPlaneFilter::Triangle},
    {"one sample to many", 1, 1, 1, 1, 5, 3, EPlaneFilter::CatmullRom},
    {"one row", 37, 1, 37, 1, 11, 1, EPlaneFilter::Triangle},
    {"one column", 1, 53, 1, 53, 1, 20, EPlaneFilter::CatmullRom},
    {"to one sample", 9, 7, 9, 7, 1, 1, EPlaneFilter::CatmullRom},
    {"a large reduction, many taps", 1000, 300, 1000, 300, 13, 9, EPlaneFilter::CatmullRom},
    {"narrower than a vector", 15, 40, 15, 40, 31, 17, EPlaneFilter::Triangle},
    {"just wider than a vector", 33, 35, 33, 35, 17, 33, EPlaneFilter::CatmullRom},
};

std::string nameOf(const TCase& c) { return c.name; }

TSamples noise(int width, int height, unsigned seed) {
  TSamples plane(static_cast<std::size_t>(width) * height);
  std::mt19937 random(seed);
  for (auto& sample : plane) sample = static_cast<std::uint8_t>(random());
  return plane;
}

TSamples scaled(TPlaneScaler& scaler, const TSamples& plane, const TCase& c) {
  // A wider output stride than the picture: the bytes past each row must stay untouched.
  const int stride = c.outWidth + 3;
  TSamples out(static_cast<std::size_t>(stride) * c.outHeight, 0xA5);
  scaler.scale({plane.data(), c.width, c.width, c.height}, c.extentWidth, c.extentHeight, c.filter,
               out.data(), stride, c.outWidth, c.outHeight);
  for (int y = 0; y < c.outHeight; ++y)
    for (int x = c.outWidth; x < stride; ++x)
      EXPECT_EQ(out[static_cast<std::size_t>(y) * stride + x], 0xA5) << "written past a row";
  TSamples packed;
  for (int y = 0; y < c.outHeight; ++y)
    packed.insert(packed.end(), out.begin() + static_cast<long>(y) * stride,
                  out.begin() + static_cast<long>(y) * stride + c.outWidth);
  return packed;
}

// Noise is the hard case: a window one sample off, a kernel not widened, chroma not centred or
// an edge not repeated all change most outputs by far more than the fixed point's rounding.
TEST(PlaneScaler, MatchesASlowReferenceOnEveryShape) {
  for (const TCase& c : Cases) {
    SCOPED_TRACE(nameOf(c));
    const TSamples plane = noise(c.width, c.height, 11);
    const TSamples vertical =
        referencePass(plane, c.width, c.height, false, c.extentHeight, c.outHeight, c.filter);
    const TSamples expected =
        referencePass(vertical, c.width, c.outHeight, true, c.extentWidth, c.outWidth, c.filter);
    TPlaneScaler scaler(TPlaneScaler::EKernels::Portable);
    const TSamples ours = scaled(scaler, plane, c);
    ASSERT_EQ(ours.size(), expected.size());
    int worst = 0;
    for (std::size_t i = 0; i < ours.size(); ++i)
      worst = std::max(worst, std::abs(ours[i] - expected[i]));
    EXPECT_LE(worst, 1) << "largest difference from the reference";
  }
}

TEST(PlaneScaler, FlatPlanesStayExactlyFlat) {
  for (const TCase& c : Cases) {
    SCOPED_TRACE(nameOf(c));
    for (std::uint8_t level : {0, 1, 128, 254, 255}) {
      const TSamples plane(static_cast<std::size_t>(c.width) * c.height, level);
      TPlaneScaler scaler;
      const TSamples ours = scaled(scaler, plane, c);
      EXPECT_EQ(std::count(ours.begin(), ours.end(), level), static_cast<long>(ours.size()))
          << "level " << int{level};
    }
  }
}

// Every vector kernel this CPU runs must give the portable loops' bytes exactly, on shapes that
// exercise the vectors' tails and overlaps.
TEST(PlaneScaler, VectorKernelsGiveThePortableBytes) {
  using EKernels = TPlaneScaler::EKernels;
  int compared = 0;
  for (EKernels kernels : {EKernels::Sse2, EKernels::Avx2, EKernels::Fastest}) {
    if (!TPlaneScaler::vectorised(kernels)) continue;
    ++compared;
    for (const TCase& c : Cases) {
      SCOPED_TRACE(nameOf(c) + ", kernels " + std::to_string(static_cast<int>(kernels)));
      const TSamples plane = noise(c.width, c.height, 5);
      TPlaneScaler portable(EKernels::Portable);
      TPlaneScaler vector(kernels);
      EXPECT_EQ(scaled(vector, plane, c), scaled(portable, plane, c));
    }
  }
#if defined(__x86_64__)
  EXPECT_GT(compared, 0) << "every x86-64 has SSE2";
#endif
}

// The tables are kept between calls: one scaler taken through more sizes than it keeps, and
// back, must give what a fresh scaler gives each time.
TEST(PlaneScaler, KeptTablesFollowEverySizeChange) {
  TPlaneScaler kept;
  for (int round = 0; round < 2; ++round)
    for (const TCase& c : Cases) {
      SCOPED_TRACE(nameOf(c));
      const TSamples plane = noise(c.width, c.height, 3);
      TPlaneScaler fresh;
      EXPECT_EQ(scaled(kept, plane, c), scaled(fresh, plane, c));
    }
}

// BGRA pictures go through the same filters pixel by pixel: each of the four channels must come
// out exactly as that channel scaled as a plane of its own, with every kernel set (the pixel
// transposition has tails of its own), and nothing written past an output row.
TEST(PlaneScaler, PixelsScaleChannelByChannel) {
  using EKernels = TPlaneScaler::EKernels;
  for (EKernels kernels : {EKernels::Portable, EKernels::Sse2, EKernels::Avx2}) {
    if (kernels != EKernels::Portable && !TPlaneScaler::vectorised(kernels)) continue;
    for (const TCase& c : Cases) {
      if (c.extentWidth != c.width || c.extentHeight != c.height) continue;
      SCOPED_TRACE(nameOf(c) + ", kernels " + std::to_string(static_cast<int>(kernels)));
      TSamples channels[4];
      for (unsigned i = 0; i < 4; ++i) channels[i] = noise(c.width, c.height, 20 + i);
      const int sourceStride = 4 * c.width + 8;
      TSamples pixels(static_cast<std::size_t>(sourceStride) * c.height);
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
          for (int i = 0; i < 4; ++i)
            pixels[static_cast<std::size_t>(y) * sourceStride + 4 * x + i] =
                channels[i][static_cast<std::size_t>(y) * c.width + x];
      const int stride = 4 * c.outWidth + 12;
      TSamples out(static_cast<std::size_t>(stride) * c.outHeight, 0xA5);
      TPlaneScaler scaler(kernels);
      scaler.scalePixels({pixels.data(), sourceStride, c.width, c.height}, c.filter, out.data(),
                         stride, c.outWidth, c.outHeight);
      for (int i = 0; i < 4; ++i) {
        const TSamples expected = scaled(scaler, channels[i], c);
        TSamples ours;
        for (int y = 0; y < c.outHeight; ++y)
          for (int x = 0; x < c.outWidth; ++x)
            ours.push_back(out[static_cast<std::size_t>(y) * stride + 4 * x + i]);
        EXPECT_EQ(ours, expected) << "channel " << i;
      }
      for (int y = 0; y < c.outHeight; ++y)
        for (int x = 4 * c.outWidth; x < stride; ++x)
          EXPECT_EQ(out[static_cast<std::size_t>(y) * stride + x], 0xA5) << "written past a row";
    }
  }
}

}  // namespace
