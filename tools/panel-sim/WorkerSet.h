#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

// The threads of one server, one per client. Each runs to its end on its own; finished ones
// are joined whenever a new one starts, and the rest on destruction, so the owner must have
// signalled the stop first (or the destructor waits for them to end by themselves).
class TWorkerSet {
 public:
  TWorkerSet() = default;
  ~TWorkerSet();
  TWorkerSet(const TWorkerSet&) = delete;
  TWorkerSet& operator=(const TWorkerSet&) = delete;

  // Starts `work` on a new thread, unless `limit` workers are still running: then false.
  bool launch(std::function<void()> work, std::size_t limit);

 private:
  struct TWorker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  void reap();

  std::mutex m_mutex;
  std::list<TWorker> m_workers;
};
