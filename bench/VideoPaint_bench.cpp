// The video area's cost on the UI thread, against ffmpeg on the same stream, and decoding
// only what is painted.
//
// Run:  bench/video.sh --benchmark_filter='DisplayedFrame|FasterThanPaints'
//
// DisplayedFrame/W/H/SUB: UI-thread CPU per displayed frame (hand-over, decode, scale, paint
//   of a window laid out like the main one) vs ffmpeg decoding and scaling the same stream to
//   the same size as BGRA, in its best configuration (ffbest_ms) and its default one
//   (ffdef_ms). Counters: ours_ms, ratio = ours / best (goal <= 0.6), ratio_def, psnr_dB (the
//   shown picture against ffmpeg's full decode scaled with lanczos, goal >= 40), path (1 exact,
//   2 BGRA decode + Qt's smooth scaling, 3 the resampled YCbCr planes); smooth_ms and
//   smooth_psnr_dB: the same frames made the way the program used to for every size,
//   TurboJPEG's BGRA decode scaled by Qt's smooth scaling.
//   picture_ms: making the shown picture alone (no paint), as the video area makes it.
//   process_ms: the whole process's CPU per displayed frame (Qt's smooth scaling uses its
//   thread pool for large pictures, which ours_ms does not see).
// FasterThanPaints/MODE: a loopback source at 50 fps into a real TMJPEGDecoder and the video
//   area for 4 s. MODE 0: the screen paints at 25 Hz; MODE 1: Qt paints when it likes.
//   Counters: frames, paints, decodes (goal: decodes <= paints; with MODE 0 about half the
//   frames are never decoded).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <tuple>
#include <utility>

#include "bench/BenchSupport.h"
#include "video/MJPEGDecoder.h"
#include "video/PictureWorkspace.h"
#include "video/VideoViewWidget.h"

namespace {

// The main window's video corner: the backdrop, the 402 x 258 area at 9, 8 over it, and the
// caption over the area, so that a paint costs what it costs there.
struct TWindowLike {
  TWindowLike() {
    window.resize(435, 300);
    auto* backdrop = new QLabel(&window);
    QPixmap pattern(64, 40);
    pattern.fill(Qt::darkGray);
    backdrop->setPixmap(pattern);
    backdrop->setScaledContents(true);
    backdrop->setGeometry(0, 8, 435, 258);
    view = new TVideoView(&window);
    view->setGeometry(9, 8, 402, 258);
    auto* caption = new QLabel("200@192.168.1.50", &window);
    caption->setStyleSheet("QLabel { color: white; background: black; font: bold 16px; }");
    caption->move(8, 16);
    caption->adjustSize();
    window.show();
    QApplication::processEvents();
  }
  QWidget window;
  TVideoView* view = nullptr;
};

struct TStreamSample {
  std::vector<TFrame> frames;
  double ffmpegBest = 0;        // CPU seconds per frame, ffmpeg's best configuration for the job
  double ffmpegDefault = 0;     // the same with ffmpeg's defaults
  double psnrOurs = 0;          // the first frame as shown, against ffmpeg's full decode + lanczos
  double psnrSmooth = 0;        // the same frame as BGRA decode + Qt's smooth scaling
  double psnrPlainLanczos = 0;  // psnrOurs against swscale's default (nearest-chroma) lanczos
};

constexpr int LongStream = 250;
constexpr int ShortStream = 10;
constexpr int AreaWidth = 402;
constexpr int AreaHeight = 258;

// ffmpeg's CPU for decoding and scaling the stream to the size we show, as BGRA. The best
// configuration for one stream on one core: one decoding thread, one filter thread, bilinear
// scaling. The default one lets ffmpeg pick threads and scaler (bicubic).
double ffmpegSeconds(const std::string& stream, QSize fitted, bool best) {
  const std::string size = std::to_string(fitted.width()) + ":" + std::to_string(fitted.height());
  if (best)
    return childCpuSeconds({"ffmpeg", "-nostdin", "-threads", "1", "-filter_threads", "1", "-i",
                            stream, "-vf", "scale=" + size + ":flags=bilinear", "-pix_fmt", "bgra",
                            "-f", "null", "-"});
  return childCpuSeconds({"ffmpeg", "-nostdin", "-i", stream, "-vf", "scale=" + size, "-pix_fmt",
                          "bgra", "-f", "null", "-"});
}

double psnrAgainst(const std::vector<unsigned char>& reference, QImage picture) {
  picture = picture.convertToFormat(QImage::Format_RGB32);
  if (reference.empty() || static_cast<std::size_t>(picture.sizeInBytes()) != reference.size())
    return 0;
  return psnrBgra(picture.constBits(), reference.data(),
                  static_cast<std::size_t>(picture.width()) * picture.height());
}

// All threads of this process.
double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The way the program made the picture before the planes' way: TurboJPEG's BGRA decode (at
// half size when that covers the fitted size), then Qt's smooth scaling.
QImage smoothPicture(const TJPEGImage& image) {
  const QSize fitted =
      TJPEGImage::fitRect(image.width(), image.height(), AreaWidth, AreaHeight).size();
  const QImage decoded = image.decodeFor(AreaWidth, AreaHeight);
  if (decoded.isNull() || decoded.size() == fitted) return decoded;
  return decoded.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Made once per stream: the frames, ffmpeg's CPU per frame on them (start-up taken out by
// running a short and a long stream of the same pictures and keeping the difference; best of
// three runs of each) and the first frame's PSNR.
const TStreamSample& sample(int width, int height, int subsampling) {
  static std::map<std::tuple<int, int, int>, TStreamSample> samples;
  auto found = samples.find({width, height, subsampling});
  if (found != samples.end()) return found->second;
  TBenchFolder folder;
  const std::string longPath = folder.path() + "/long.mjpeg";
  const std::string shortPath = folder.path() + "/short.mjpeg";
  makeTestStream(longPath, width, height, LongStream, subsampling);
  makeTestStream(shortPath, width, height, ShortStream, subsampling);
  const QSize fitted = TJPEGImage::fitRect(width, height, AreaWidth, AreaHeight).size();
  TStreamSample made;
  made.frames = readFrames(longPath);
  for (bool best : {true, false}) {
    double bestLong = 1e9;
    double bestShort = 1e9;
    for (int run = 0; run < 3; ++run) {
      bestLong = std::min(bestLong, ffmpegSeconds(longPath, fitted, best));
      bestShort = std::min(bestShort, ffmpegSeconds(shortPath, fitted, best));
    }
    (best ? made.ffmpegBest : made.ffmpegDefault) =
        (bestLong - bestShort) / (LongStream - ShortStream);
  }
  const std::string firstPath = folder.path() + "/first.jpg";
  {
    std::ofstream out(firstPath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(made.frames[0]->data()),
              static_cast<std::streamsize>(made.frames[0]->size()));
  }
  // swscale's accurate mode: by default it takes each pixel's chroma from the nearest sample.
  const std::vector<unsigned char> reference = ffmpegScaledBgra(
      firstPath, fitted.width(), fitted.height(), "lanczos+accurate_rnd+full_chroma_int");
  const std::vector<unsigned char> plainLanczos =
      ffmpegScaledBgra(firstPath, fitted.width(), fitted.height(), "lanczos");
  TJPEGImage first;
  first.load(made.frames[0]);
  made.psnrOurs = psnrAgainst(reference, first.scaledFor(AreaWidth, AreaHeight));
  made.psnrPlainLanczos = psnrAgainst(plainLanczos, first.scaledFor(AreaWidth, AreaHeight));
  made.psnrSmooth = psnrAgainst(reference, smoothPicture(first));
  return samples.emplace(std::make_tuple(width, height, subsampling), std::move(made))
      .first->second;
}

void DisplayedFrame(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const TStreamSample& stream = sample(width, height, static_cast<int>(state.range(2)));
  if (stream.ffmpegBest <= 0 || stream.ffmpegDefault <= 0) {
    state.SkipWithError("ffmpeg did not run");
    return;
  }
  TWindowLike window;
  std::size_t next = 0;
  const double cpuBefore = ownThreadCpuSeconds();
  const double processBefore = processCpuSeconds();
  for (auto _ : state) {
    window.view->setPicture(stream.frames[next++ % stream.frames.size()]);
    window.view->repaint();
  }
  const double ours = (ownThreadCpuSeconds() - cpuBefore) / static_cast<double>(state.iterations());
  // All threads: a way that hands work to other threads (Qt's smooth scaling uses its pool)
  // shows here, not in the UI thread's clock.
  state.counters["process_ms"] =
      (processCpuSeconds() - processBefore) / static_cast<double>(state.iterations()) * 1e3;
  std::size_t bytes = 0;
  for (const TFrame& frame : stream.frames) bytes += frame->size();
  state.counters["ours_ms"] = ours * 1e3;
  state.counters["ffbest_ms"] = stream.ffmpegBest * 1e3;
  state.counters["ffdef_ms"] = stream.ffmpegDefault * 1e3;
  state.counters["ratio"] = ours / stream.ffmpegBest;
  state.counters["ratio_def"] = ours / stream.ffmpegDefault;
  state.counters["psnr_dB"] = stream.psnrOurs;
  state.counters["smooth_psnr_dB"] = stream.psnrSmooth;
  // The former way on the same frames, outside the timed loop: CPU per picture made (no paint).
  const double smoothBefore = ownThreadCpuSeconds();
  const double smoothProcessBefore = processCpuSeconds();
  constexpr int SmoothRuns = 100;
  for (int i = 0; i < SmoothRuns; ++i) {
    TJPEGImage image;
    image.load(stream.frames[static_cast<std::size_t>(i) % stream.frames.size()]);
    benchmark::DoNotOptimize(smoothPicture(image));
  }
  state.counters["smooth_ms"] = (ownThreadCpuSeconds() - smoothBefore) / SmoothRuns * 1e3;
  // With Qt's thread pool, which the UI thread's clock does not see.
  state.counters["smooth_process_ms"] =
      (processCpuSeconds() - smoothProcessBefore) / SmoothRuns * 1e3;
  // The planes' way alone, with a workspace kept as the video area keeps it.
  TPictureWorkspace workspace;
  const double planesBefore = ownThreadCpuSeconds();
  for (int i = 0; i < SmoothRuns; ++i) {
    TJPEGImage image;
    image.load(stream.frames[static_cast<std::size_t>(i) % stream.frames.size()]);
    benchmark::DoNotOptimize(image.scaledFor(AreaWidth, AreaHeight, workspace));
  }
  state.counters["picture_ms"] = (ownThreadCpuSeconds() - planesBefore) / SmoothRuns * 1e3;
  state.counters["plain_psnr_dB"] = stream.psnrPlainLanczos;
  TJPEGImage first;
  first.load(stream.frames[0]);
  state.counters["path"] = static_cast<double>(first.scalePathFor(AreaWidth, AreaHeight));
  state.counters["jpeg_kB"] = static_cast<double>(bytes) / stream.frames.size() / 1e3;
}
BENCHMARK(DisplayedFrame)
    ->ArgsProduct({{640}, {480}, {420, 422, 444}})
    ->ArgsProduct({{1280}, {720}, {420, 422, 444}})
    ->ArgsProduct({{1920}, {1080}, {420, 422, 444}})
    ->ArgNames({"w", "h", "sub"})
    ->Unit(benchmark::kMillisecond);

// Counts the paints the video area receives.
class TPaintCounter : public QObject {
 public:
  std::uint64_t paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

void FasterThanPaints(benchmark::State& state) {
  const bool screenAt25Hz = state.range(0) == 0;
  const TStreamSample& stream = sample(1280, 720, 420);
  for (auto _ : state) {
    TWindowLike window;
    TPaintCounter counter;
    window.view->installEventFilter(&counter);
    TLoopbackMJPEGServer server(stream.frames, 50);
    TMJPEGDecoder decoder;
    std::uint64_t frames = 0;
    decoder.OnFrame = [&](IMJPEGDecoder&, std::unique_ptr<TJPEGImage> image) {
      ++frames;
      if (image) window.view->setPicture(image->bytes());
    };
    QTimer screen;
    if (screenAt25Hz) {
      // The screen refreshes at 25 Hz: between refreshes the area takes pictures but draws none.
      window.view->setUpdatesEnabled(false);
      QObject::connect(&screen, &QTimer::timeout, [&] {
        window.view->setUpdatesEnabled(true);
        window.view->repaint();
        window.view->setUpdatesEnabled(false);
      });
      screen.start(40);
    }
    const std::uint64_t paintsBefore = counter.paints;
    const std::uint64_t decodesBefore = window.view->decodeCount();
    decoder.Connect("127.0.0.1", server.port(), "/?action=streaming", "l", "p");
    // The header exchange runs on the receiving thread; its outcome comes through the loop.
    while (decoder.Connecting()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!decoder.Connected()) {
      state.SkipWithError("the decoder did not connect");
      return;
    }
    QEventLoop loop;
    QTimer::singleShot(4000, &loop, &QEventLoop::quit);
    loop.exec();
    decoder.Disconnect();
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["paints"] = static_cast<double>(counter.paints - paintsBefore);
    state.counters["decodes"] = static_cast<double>(window.view->decodeCount() - decodesBefore);
    state.counters["never_decoded"] = static_cast<double>(frames) - state.counters["decodes"].value;
  }
}
BENCHMARK(FasterThanPaints)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("qt_paints")
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  // Painting is measured without a display server unless one is asked for.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
