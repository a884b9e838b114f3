// The pieces of the planes' way to the shown picture, one at a time, on the sizes of the
// normal window: resampling one plane to the fitted size (each filter, the vector and the
// portable kernels; tables kept between frames or made anew), and each stage of the shown
// picture on a real frame (ffmpeg's testsrc, 4:2:0 or 4:2:2) against the whole.
//
// Run:  build/bench/bench/bench_plane_scaler   (after bench/video.sh has configured build/bench)
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <QImage>
#include <cstdint>
#include <random>
#include <vector>

#include "bench/BenchSupport.h"
#include "video/JpegImage.h"
#include "video/PictureWorkspace.h"
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

// Stages, on the first frame of a stream of the given size and subsampling into the 402 x 258
// area: 0 TurboJPEG's decode to planes, 1 resampling the three planes, 2 TurboJPEG's colour
// conversion at the shown size, 3 the whole picture as the video area makes it, 4 TurboJPEG's
// BGRA decode, 5 Qt's smooth scaling of that decode to the fitted size.
void PictureStage(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const int stage = static_cast<int>(state.range(3));
  TBenchFolder folder;
  makeTestStream(folder.path() + "/s.mjpeg", width, height, 1, static_cast<int>(state.range(2)));
  const TFrame frame = readFrames(folder.path() + "/s.mjpeg").at(0);
  TJPEGImage image;
  image.load(frame);
  const QSize fitted = TJPEGImage::fitRect(width, height, 402, 258).size();
  tjhandle handle = tjInitDecompress();
  int w = 0, h = 0, sub = 0, colorspace = 0;
  tjDecompressHeader3(handle, frame->data(), frame->size(), &w, &h, &sub, &colorspace);
  std::vector<std::uint8_t> planes[3];
  unsigned char* data[3];
  int strides[3];
  int heights[3];
  for (int i = 0; i < 3; ++i) {
    strides[i] = tjPlaneWidth(i, w, sub);
    heights[i] = tjPlaneHeight(i, h, sub);
    planes[i].resize(static_cast<std::size_t>(strides[i]) * heights[i]);
    data[i] = planes[i].data();
  }
  tjDecompressToYUVPlanes(handle, frame->data(), frame->size(), data, w, strides, h, 0);
  std::vector<std::uint8_t> shown[3];
  for (auto& plane : shown)
    plane.resize(static_cast<std::size_t>(fitted.width()) * fitted.height());
  TPlaneScaler scaler;
  TPictureWorkspace workspace;
  QImage out(fitted, QImage::Format_RGB32);
  const QImage decoded = image.decodeFor(width, height);
  for (auto _ : state) {
    switch (stage) {
      case 0:
        tjDecompressToYUVPlanes(handle, frame->data(), frame->size(), data, w, strides, h, 0);
        break;
      case 1:
        for (int i = 0; i < 3; ++i)
          scaler.scale({data[i], strides[i], i ? strides[i] : w, i ? heights[i] : h},
                       i ? strides[i] : w, i ? heights[i] : h,
                       i == 0 ? EPlaneFilter::Triangle : EPlaneFilter::CatmullRom, shown[i].data(),
                       fitted.width(), fitted.width(), fitted.height());
        break;
      case 2: {
        const unsigned char* in[3] = {shown[0].data(), shown[1].data(), shown[2].data()};
        int inStrides[3] = {fitted.width(), fitted.width(), fitted.width()};
        tjDecodeYUVPlanes(handle, in, inStrides, TJSAMP_444, out.bits(), fitted.width(),
                          static_cast<int>(out.bytesPerLine()), fitted.height(), TJPF_BGRA, 0);
        break;
      }
      case 3:
        benchmark::DoNotOptimize(image.scaledFor(402, 258, workspace));
        break;
      case 4:
        benchmark::DoNotOptimize(image.decodeFor(width, height));
        break;
      case 5:
        benchmark::DoNotOptimize(
            decoded.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        break;
    }
  }
  tjDestroy(handle);
}
BENCHMARK(PictureStage)
    ->ArgsProduct({{640}, {480}, {420, 422}, {0, 1, 2, 3, 4, 5}})
    ->ArgNames({"w", "h", "sub", "stage"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
