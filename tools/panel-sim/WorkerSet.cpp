#include "tools/panel-sim/WorkerSet.h"

TWorkerSet::~TWorkerSet() {
  std::lock_guard lock(m_mutex);
  for (auto& w : m_workers) w.thread.join();
}

bool TWorkerSet::launch(std::function<void()> work, std::size_t limit) {
  std::lock_guard lock(m_mutex);
  reap();
  if (m_workers.size() >= limit) return false;
  auto done = std::make_shared<std::atomic<bool>>(false);
  m_workers.push_back({std::thread([work = std::move(work), done] {
                         work();
                         done->store(true);
                       }),
                       done});
  return true;
}

void TWorkerSet::reap() {
  for (auto it = m_workers.begin(); it != m_workers.end();) {
    if (it->done->load()) {
      it->thread.join();
      it = m_workers.erase(it);
    } else {
      ++it;
    }
  }
}
