// The relay command's two speed goals, measured on the real API worker over loopback.
//
// Run (as root: the API goes to port 80):  build/bench/bench/bench_api_relay
//
// RelayToArrival: from the request being asked on the UI thread to its request line arriving at
//   a loopback HTTP peer, 50 requests; counter median_ms (goal < 10).
// DigestGetWallTime: 50 Digest GETs of the relay command to the panel named by
//   OSTREL_API_PEER (bench/api-vs-curl.sh starts panel-sim there and compares with curl);
//   counter mean_ms.
// UiStallWhileThePanelIsSilent: a panel that accepts the connection and never answers holds a
//   request for two read time-outs; a 1 ms timer on the UI thread records how late it fires;
//   counter worst_stall_ms (goal < 20).
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
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "api/ApiWorker.h"

namespace {

using TClock = std::chrono::steady_clock;

QCoreApplication& application() {
  static int argc = 1;
  static char name[] = "bench_api_relay";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  return *app;
}

// A listening socket on address:80, or -1.
int listenOn(const char* address) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(80);
  ::inet_pton(AF_INET, address, &at.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, 16) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

TApiRequest relayRequest(const std::string& address) {
  TApiRequest request;
  request.address = address;
  request.command = "remote";
  request.payload = "{\"code\":\"1234\"}";
  request.settings.authType = "None";
  request.settings.method = "GET";
  return request;
}

void RelayToArrival(benchmark::State& state) {
  application();
  const int server = listenOn("127.0.0.2");
  if (server < 0) {
    state.SkipWithError("cannot listen on 127.0.0.2:80 (run as root)");
    return;
  }
  // The peer: notes when each request line has arrived, answers 200 and closes.
  std::atomic<long long> arrivedNs{0};
  std::atomic<bool> stop{false};
  std::thread peer([&] {
    while (!stop) {
      const int client = ::accept(server, nullptr, nullptr);
      if (client < 0) break;
      std::string head;
      char buffer[4096];
      while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::read(client, buffer, sizeof buffer);
        if (n <= 0) break;
        if (head.empty()) arrivedNs = TClock::now().time_since_epoch().count();
        head.append(buffer, static_cast<std::size_t>(n));
      }
      const std::string reply =
          "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
      (void)!::write(client, reply.data(), reply.size());
      ::close(client);
    }
  });

  TApiWorker worker;
  std::vector<double> samples;
  for (auto _ : state) {
    for (int i = 0; i < 50; ++i) {
      QEventLoop loop;
      const long long askedNs = TClock::now().time_since_epoch().count();
      worker.request(relayRequest("127.0.0.2"), [&](const TApiResult&) { loop.quit(); });
      loop.exec();
      samples.push_back((arrivedNs.load() - askedNs) / 1e6);
    }
  }
  worker.shutdown();
  stop = true;
  ::shutdown(server, SHUT_RDWR);
  ::close(server);
  peer.join();
  std::sort(samples.begin(), samples.end());
  state.counters["median_ms"] = samples[samples.size() / 2];
  state.counters["worst_ms"] = samples.back();
}
BENCHMARK(RelayToArrival)->Iterations(1)->Unit(benchmark::kMillisecond);

void UiStallWhileThePanelIsSilent(benchmark::State& state) {
  application();
  // Accepted by the kernel's backlog, never read nor answered.
  const int server = listenOn("127.0.0.3");
  if (server < 0) {
    state.SkipWithError("cannot listen on 127.0.0.3:80 (run as root)");
    return;
  }
  TApiWorker worker;
  double worstMs = 0;
  for (auto _ : state) {
    QEventLoop loop;
    QElapsedTimer since;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
      worstMs = std::max(worstMs, since.nsecsElapsed() / 1e6 - 1.0);
      since.restart();
    });
    since.start();
    tick.start();
    worker.request(relayRequest("127.0.0.3"), [&](const TApiResult&) { loop.quit(); });
    loop.exec();
  }
  worker.shutdown();
  ::close(server);
  state.counters["worst_stall_ms"] = worstMs;
}
BENCHMARK(UiStallWhileThePanelIsSilent)->Iterations(1)->Unit(benchmark::kMillisecond);

void DigestGetWallTime(benchmark::State& state) {
  const char* peer = std::getenv("OSTREL_API_PEER");
  if (peer == nullptr) {
    state.SkipWithError("OSTREL_API_PEER names no panel (see bench/api-vs-curl.sh)");
    return;
  }
  TApiRequest request = relayRequest(peer);
  request.settings.authType = "Digest";
  request.settings.username = "admin";
  request.settings.password = "door";
  THttpApi http;
  double totalMs = 0;
  int failures = 0;
  constexpr int Requests = 50;
  for (auto _ : state) {
    for (int i = 0; i < Requests; ++i) {
      const auto start = TClock::now();
      if (!http.httpAPI(request).ok) ++failures;
      totalMs += std::chrono::duration<double, std::milli>(TClock::now() - start).count();
    }
  }
  state.counters["mean_ms"] = totalMs / Requests;
  state.counters["failures"] = failures;
}
BENCHMARK(DigestGetWallTime)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
