#include "core/Journal.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QMetaObject>
#include <QObject>
#include <future>

TJournal::TJournal(std::string path)
    : m_path(std::move(path)), m_receiver(std::make_unique<QObject>()) {
  m_thread = std::thread([this] { run(); });
}

TJournal::~TJournal() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_one();
  if (m_thread.joinable()) m_thread.join();
  // Handlers already posted are dropped with their receiver.
  m_receiver.reset();
}

void TJournal::post(TJob job) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.push_back(std::move(job));
  }
  m_wake.notify_one();
}

void TJournal::run() {
  // Below the UI thread and the video: on a busy machine the record of a call waits, the call
  // does not. Failing to lower it changes nothing else.
  setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
  // The connection belongs to this thread for its whole life.
  TJournalStore store(m_path);
  for (;;) {
    TJob job;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
      if (m_jobs.empty()) return;
      job = std::move(m_jobs.front());
      m_jobs.pop_front();
    }
    job(store);
  }
}

void TJournal::writeFailed(TJournalStore& store) {
  if (m_failureReported || !store.isOpen()) return;
  m_failureReported = true;
  QMetaObject::invokeMethod(
      m_receiver.get(),
      [this, detail = store.lastError()] {
        if (m_onWriteFailed) m_onWriteFailed(detail);
      },
      Qt::QueuedConnection);
}

void TJournal::open(TOpenHandler opened) {
  post([this, opened = std::move(opened)](TJournalStore& store) {
    const EJournalOpen result = store.open();
    std::string detail = result == EJournalOpen::Recovered
                             ? store.movedAsideTo() + " (" + store.lastError() + ")"
                             : store.lastError();
    if (!opened) return;
    QMetaObject::invokeMethod(
        m_receiver.get(), [opened, result, detail] { opened(result, detail); },
        Qt::QueuedConnection);
  });
}

TJournal::TToken TJournal::record(const TJournalEntry& entry) {
  const TToken token = m_nextToken++;
  post([this, token, entry](TJournalStore& store) {
    if (!store.isOpen()) return;
    if (const auto id = store.insert(entry))
      m_rows[token] = *id;
    else
      writeFailed(store);
  });
  return token;
}

void TJournal::update(TToken call, const TJournalUpdate& changes) {
  post([this, call, changes](TJournalStore& store) {
    const auto row = m_rows.find(call);
    if (row == m_rows.end()) return;
    if (!store.update(row->second, changes)) writeFailed(store);
  });
}

void TJournal::setPicture(TToken call, TJournalBytes jpeg) {
  if (!jpeg) return;
  post([this, call, jpeg = std::move(jpeg)](TJournalStore& store) {
    const auto row = m_rows.find(call);
    if (row == m_rows.end()) return;
    if (!store.setPicture(row->second, *jpeg)) writeFailed(store);
  });
}

void TJournal::applyRetention(std::int64_t nowMs, int maxAgeDays, std::int64_t maxPictureBytes,
                              std::function<void(TJournalRetention)> done) {
  post([this, nowMs, maxAgeDays, maxPictureBytes, done = std::move(done)](TJournalStore& store) {
    const TJournalRetention removed = store.applyRetention(nowMs, maxAgeDays, maxPictureBytes);
    if (!done) return;
    QMetaObject::invokeMethod(
        m_receiver.get(), [done, removed] { done(removed); }, Qt::QueuedConnection);
  });
}

void TJournal::flush() {
  std::promise<void> finished;
  std::future<void> done = finished.get_future();
  post([&finished](TJournalStore&) { finished.set_value(); });
  done.wait();
}
