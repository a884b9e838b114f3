// The receiving thread's CPU per 1280 x 720 frame on loopback.
//
// Run:  bench/video.sh --benchmark_filter=ReceivingThread
//
// A loopback server sends ffmpeg testsrc frames as fast as the socket takes them to a real
// TMJPEGDecoder; the event loop hands them to a handler that only counts them. The receiving
// thread is the one the decoder starts at Connect; its CPU is read from the kernel's per-thread
// clock. Counters: thread_us (receiving thread CPU per frame, goal <= 50), ui_us (UI thread CPU
// per frame for the hand-over, for information), frames, jpeg_kB, MB_per_s.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include "bench/BenchSupport.h"
#include "video/MJPEGDecoder.h"

namespace {

constexpr std::uint64_t FramesPerRun = 3000;

const std::vector<TFrame>& frames720p() {
  static const std::vector<TFrame> frames = [] {
    TBenchFolder folder;
    const std::string path = folder.path() + "/720p.mjpeg";
    makeTestStream(path, 1280, 720, 50);
    return readFrames(path);
  }();
  return frames;
}

void ReceivingThread(benchmark::State& state) {
  const std::vector<TFrame>& frames = frames720p();
  for (auto _ : state) {
    TLoopbackMJPEGServer server(frames, 0);
    TMJPEGDecoder decoder;
    std::uint64_t received = 0;
    std::uint64_t bytes = 0;
    QEventLoop loop;
    decoder.OnFrame = [&](IMJPEGDecoder&, std::unique_ptr<TJPEGImage> image) {
      ++received;
      if (image && image->bytes()) bytes += image->bytes()->size();
      if (received == FramesPerRun) loop.quit();
    };
    const std::vector<pid_t> before = threadIds();
    decoder.Connect("127.0.0.1", server.port(), "/?action=streaming", "l", "p");
    // The header exchange runs on the receiving thread; its outcome comes through the loop.
    while (decoder.Connecting()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!decoder.Connected()) {
      state.SkipWithError("the decoder did not connect");
      return;
    }
    // The receiving thread is the one Connect started.
    std::vector<pid_t> started;
    for (pid_t id : threadIds())
      if (std::find(before.begin(), before.end(), id) == before.end()) started.push_back(id);
    if (started.size() != 1) {
      state.SkipWithError("cannot tell the receiving thread");
      return;
    }
    const double threadBefore = threadCpuSeconds(started.front());
    const double uiBefore = ownThreadCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);  // a stuck stream ends the run
    loop.exec();
    const double threadCpu = threadCpuSeconds(started.front()) - threadBefore;
    const double uiCpu = ownThreadCpuSeconds() - uiBefore;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    decoder.Disconnect();
    if (received == 0) {
      state.SkipWithError("no frame arrived");
      return;
    }
    const double n = static_cast<double>(received);
    state.counters["thread_us"] = threadCpu / n * 1e6;
    state.counters["ui_us"] = uiCpu / n * 1e6;
    state.counters["frames"] = n;
    state.counters["jpeg_kB"] = static_cast<double>(bytes) / n / 1e3;
    state.counters["MB_per_s"] = static_cast<double>(bytes) / wall / 1e6;
  }
}
BENCHMARK(ReceivingThread)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
