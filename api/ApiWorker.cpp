#include "api/ApiWorker.h"

#include <QMetaObject>
#include <QObject>

TApiWorker::TApiWorker() : m_receiver(std::make_unique<QObject>()) {
  m_thread = std::thread([this] { run(); });
}

TApiWorker::~TApiWorker() { shutdown(); }

void TApiWorker::request(TApiRequest request, TCallback done) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_stopping) return;
  m_jobs.push_back({std::move(request), std::move(done)});
  m_wake.notify_one();
}

void TApiWorker::shutdown() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping && !m_thread.joinable()) return;
    m_stopping = true;
    m_jobs.clear();
  }
  m_wake.notify_one();
  m_http.abort();
  if (m_thread.joinable()) m_thread.join();
  // Results already posted are dropped with their receiver.
  m_receiver.reset();
}

void TApiWorker::run() {
  for (;;) {
    TJob job;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
      if (m_stopping) return;
      job = std::move(m_jobs.front());
      m_jobs.pop_front();
    }
    TApiResult result = m_http.httpAPI(job.request);
    if (result.aborted || !job.done) continue;
    QMetaObject::invokeMethod(
        m_receiver.get(), [done = std::move(job.done), result]() { done(result); },
        Qt::QueuedConnection);
  }
}
