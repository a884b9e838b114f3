// The pieces of the planes' way to the shown picture, one at a time, on the sizes of the
// normal window: resampling one plane to the fitted size (each filter, the vector and the
// portable kernels; tables kept between frames or made anew).
//
// Run:  build/bench/bench/bench_plane_scaler   (after bench/video.sh has configured build/bench)
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "video/PlaneScaler.h"

namespace {

// A plane with detail everywhere, as the content makes no difference to the cost.
std::vector<std::uint8_t> noise(int width, int height) {
  std::vector<std::uint8_t> plane(static_cast<std::size_t>(width) * height);
  std::mt19937 random(7);
  for (auto& sample : plane) sample = static_cast<std::uint8_t>(random());
  return plane;
}

// Arguments: source width, height, output width, height, filter (0 triangle, 1 cubic),
// kernels (0 portable, 1 SSE2, 2 AVX2), tables kept (1) or made for every plane (0).
void ScalePlane(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const int outWidth = static_cast<int>(state.range(2));
  const int outHeight = static_cast<int>(state.range(3));
  const auto filter = state.range(4) ? EPlaneFilter::CatmullRom : EPlaneFilter::Triangle;
  const TPlaneScaler::EKernels kernelsOf[] = {
      TPlaneScaler::EKernels::Portable, TPlaneScaler::EKernels::Sse2, TPlaneScaler::EKernels::Avx2};
  const TPlaneScaler::EKernels kernels = kernelsOf[state.range(5)];
  if (!TPlaneScaler::vectorised(kernels) && kernels != TPlaneScaler::EKernels::Portable) {
    state.SkipWithError("this CPU lacks these vector instructions");
    return;
  }
  const bool kept = state.range(6) != 0;
  const std::vector<std::uint8_t> source = noise(width, height);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(outWidth) * outHeight);
  TPlaneScaler keptScaler(kernels);
  for (auto _ : state) {
    TPlaneScaler fresh(kernels);
    TPlaneScaler& scaler = kept ? keptScaler : fresh;
    scaler.scale({source.data(), width, width, height}, width, height, filter, out.data(), outWidth,
                 outWidth, outHeight);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(ScalePlane)
    ->ArgsProduct({{640}, {480}, {344}, {258}, {0, 1}, {0, 1, 2}, {1}})
    ->ArgsProduct({{640}, {480}, {344}, {258}, {0}, {2}, {0}})
    ->ArgsProduct({{320}, {240}, {344}, {258}, {1}, {0, 1, 2}, {1}})
    ->ArgsProduct({{1280}, {720}, {402}, {226}, {0, 1}, {2}, {1}})
    ->ArgsProduct({{640}, {360}, {402}, {226}, {0, 1}, {2}, {1}})
    ->ArgNames({"w", "h", "ow", "oh", "cubic", "fast", "kept"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
