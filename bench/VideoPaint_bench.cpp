// The video area's cost on the UI thread, against ffmpeg on the same stream, and decoding
// only what is painted.
//
// Run:  bench/video.sh --benchmark_filter='DisplayedFrame|FasterThanPaints'
//
// DisplayedFrame/W/H: UI-thread CPU per displayed frame (hand-over, decode, scale, paint of a
//   window laid out like the main one) vs ffmpeg -threads 1 decoding and scaling the same
//   stream to 402x258 BGRA. Counters: ours_ms, ffmpeg_ms (per frame, CPU), ratio (goal <= 0.8).
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
#include <map>
#include <memory>
#include <utility>

#include "bench/BenchSupport.h"
#include "video/MJPEGDecoder.h"
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
  double ffmpegSecondsPerFrame = 0;
};

constexpr int LongStream = 250;
constexpr int ShortStream = 10;

double ffmpegSeconds(const std::string& stream) {
  return childCpuSeconds({"ffmpeg", "-nostdin", "-threads", "1", "-i", stream, "-vf",
                          "scale=402:258", "-pix_fmt", "bgra", "-f", "null", "-"});
}

// Made once per size: the stream, and ffmpeg's CPU per frame on it. ffmpeg's start-up is taken
// out by running it on a short and a long stream of the same pictures and keeping the
// difference; the best of three runs of each.
const TStreamSample& sample(int width, int height) {
  static std::map<std::pair<int, int>, TStreamSample> samples;
  auto found = samples.find({width, height});
  if (found != samples.end()) return found->second;
  TBenchFolder folder;
  const std::string longPath = folder.path() + "/long.mjpeg";
  const std::string shortPath = folder.path() + "/short.mjpeg";
  makeTestStream(longPath, width, height, LongStream);
  makeTestStream(shortPath, width, height, ShortStream);
  TStreamSample made;
  made.frames = readFrames(longPath);
  double bestLong = 1e9;
  double bestShort = 1e9;
  for (int run = 0; run < 3; ++run) {
    bestLong = std::min(bestLong, ffmpegSeconds(longPath));
    bestShort = std::min(bestShort, ffmpegSeconds(shortPath));
  }
  made.ffmpegSecondsPerFrame = (bestLong - bestShort) / (LongStream - ShortStream);
  return samples.emplace(std::make_pair(width, height), std::move(made)).first->second;
}

void DisplayedFrame(benchmark::State& state) {
  const TStreamSample& stream =
      sample(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  if (stream.ffmpegSecondsPerFrame <= 0) {
    state.SkipWithError("ffmpeg did not run");
    return;
  }
  TWindowLike window;
  std::size_t next = 0;
  const double cpuBefore = ownThreadCpuSeconds();
  for (auto _ : state) {
    window.view->setPicture(stream.frames[next++ % stream.frames.size()]);
    window.view->repaint();
  }
  const double ours = (ownThreadCpuSeconds() - cpuBefore) / static_cast<double>(state.iterations());
  std::size_t bytes = 0;
  for (const TFrame& frame : stream.frames) bytes += frame->size();
  state.counters["ours_ms"] = ours * 1e3;
  state.counters["ffmpeg_ms"] = stream.ffmpegSecondsPerFrame * 1e3;
  state.counters["ratio"] = ours / stream.ffmpegSecondsPerFrame;
  state.counters["jpeg_kB"] = static_cast<double>(bytes) / stream.frames.size() / 1e3;
  state.counters["decodes"] = static_cast<double>(window.view->decodeCount());
}
BENCHMARK(DisplayedFrame)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->ArgNames({"w", "h"})
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
  const TStreamSample& stream = sample(1280, 720);
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
