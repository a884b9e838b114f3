// The voice message's speed goals, on the real toggle, API worker and loopback.
//
// Run:  build/bench/bench/bench_voice_message
//
// SecondPressToWholeFile: a 10 s message (recorded by the null recorder on a clock moved by
//   hand) from the second press to the last body byte arriving at a loopback HTTP peer, 20
//   messages; counter median_ms (goal < 100).
// UiStallDuringTheUpload: the same, with a 1 ms timer on the UI thread recording how late it
//   fires while the upload runs, and the second press's own time on that thread (saving and
//   encoding); counter worst_stall_ms (goal < 20).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "api/ApiWorker.h"
#include "audio/VoiceMessage.h"
#include "platform/NullRecorder.h"

namespace {

using TClock = std::chrono::steady_clock;

QCoreApplication& application() {
  static int argc = 1;
  static char name[] = "bench_voice_message";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  return *app;
}

class TManualClock final : public IClock {
 public:
  TClock::time_point now{};
  TClock::time_point steadyNow() const override { return now; }
  TLocalTime localNow() const override { return {}; }
};

class TNoDialogs final : public IDialogs {
 public:
  EDialogResult message(const std::string&, EDialogIcon, EDialogButtons) override {
    return EDialogResult::Ok;
  }
  std::optional<std::string> inputBox(const std::string&, const std::string&,
                                      const std::string&) override {
    return std::nullopt;
  }
};

class TNoView final : public IVoiceMessageView {
 public:
  void showVoiceMessage(const TVoiceMessageLook&) override {}
};

// A loopback peer that reads each request whole (by its Content-Length), notes when its last
// byte arrived, answers 200 and closes.
class TWholeBodyPeer {
 public:
  TWholeBodyPeer() {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.1", &at.sin_addr);
    ::bind(m_fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
    ::listen(m_fd, 16);
    socklen_t size = sizeof at;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&at), &size);
    m_port = ntohs(at.sin_port);
    m_thread = std::thread([this] { run(); });
  }
  ~TWholeBodyPeer() {
    ::shutdown(m_fd, SHUT_RDWR);
    ::close(m_fd);
    m_thread.join();
  }
  std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
  std::atomic<long long> wholeNs{0};

 private:
  void run() {
    for (;;) {
      const int client = ::accept(m_fd, nullptr, nullptr);
      if (client < 0) return;
      std::string data;
      char buffer[65536];
      std::size_t need = std::string::npos;
      while (need == std::string::npos || data.size() < need) {
        const ssize_t n = ::read(client, buffer, sizeof buffer);
        if (n <= 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
        const std::size_t end = data.find("\r\n\r\n");
        if (need == std::string::npos && end != std::string::npos) {
          const std::size_t at = data.find("Content-Length: ");
          need = end + 4 +
                 (at != std::string::npos && at < end ? std::stoul(data.substr(at + 16)) : 0);
        }
      }
      wholeNs = TClock::now().time_since_epoch().count();
      const std::string reply =
          "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
      (void)!::write(client, reply.data(), reply.size());
      ::close(client);
    }
  }
  int m_fd = -1;
  int m_port = 0;
  std::thread m_thread;
};

struct TRun {
  std::vector<double> toWholeMs;
  double worstStallMs = 0;
  double worstPressMs = 0;  // the second press's own time on the UI thread
  double worstTickMs = 0;   // the timer's worst lateness while the upload ran
};

TRun sendMessages(int count, bool watchStall) {
  application();
  TBenchFolder folder;
  TWholeBodyPeer peer;
  TManualClock clock;
  TNoDialogs dialogs;
  TNoView view;
  TApiWorker worker;
  TVoiceMessage voice(worker, dialogs, clock, view, std::make_unique<TNullRecorder>(clock),
                      [&] { return std::optional<std::string>(folder.path()); });
  TAppSettings settings;
  settings.APIMethod = "POST";
  settings.APIAuthtype = "None";
  settings.platines = peer.address();
  TUiTexts texts;
  const TVoiceContext context{settings, false, false, {}, texts};
  TRun run;
  for (int i = 0; i < count; ++i) {
    voice.click(context);
    clock.now += std::chrono::seconds(10);
    QEventLoop loop;
    QElapsedTimer since;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      run.worstTickMs = std::max(run.worstTickMs, since.nsecsElapsed() / 1e6 - 1.0);
      since.restart();
    });
    const long long pressNs = TClock::now().time_since_epoch().count();
    voice.click(context);
    const double pressMs = (TClock::now().time_since_epoch().count() - pressNs) / 1e6;
    if (watchStall) {
      run.worstPressMs = std::max(run.worstPressMs, pressMs);
      since.start();
      tick.start();
    }
    QTimer::singleShot(0, &loop, [&] {
      if (voice.pending() == 0) loop.quit();
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (voice.pending() == 0) loop.quit();
    });
    poll.start(1);
    loop.exec();
    run.toWholeMs.push_back((peer.wholeNs.load() - pressNs) / 1e6);
  }
  run.worstStallMs = std::max(run.worstPressMs, run.worstTickMs);
  worker.shutdown();
  return run;
}

void SecondPressToWholeFile(benchmark::State& state) {
  TRun run;
  for (auto _ : state) run = sendMessages(20, false);
  std::sort(run.toWholeMs.begin(), run.toWholeMs.end());
  state.counters["median_ms"] = run.toWholeMs[run.toWholeMs.size() / 2];
  state.counters["worst_ms"] = run.toWholeMs.back();
}
BENCHMARK(SecondPressToWholeFile)->Iterations(1)->Unit(benchmark::kMillisecond);

void UiStallDuringTheUpload(benchmark::State& state) {
  TRun run;
  for (auto _ : state) run = sendMessages(20, true);
  state.counters["worst_stall_ms"] = run.worstStallMs;
  state.counters["worst_press_ms"] = run.worstPressMs;
  state.counters["worst_tick_ms"] = run.worstTickMs;
}
BENCHMARK(UiStallDuringTheUpload)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
