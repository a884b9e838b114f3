#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "platform/JournalRecord.h"
#include "platform/JournalStore.h"

class QObject;

// The visitor journal as the rest of the program writes it: every write is queued for the
// journal's own thread, which owns the database, so a call never waits on the disk. Calls are
// named by tokens given out here at once; the thread maps them to rows once they exist. A
// journal that cannot be opened or written takes the writes and drops them.
//
// Thread contract: construct, call and destroy on the UI thread (a Qt event loop must run there
// for the handlers to be called). Handlers run on that thread, never after destruction.
// Ownership: owns its thread and, on it, the store.
class TJournal {
 public:
  using TToken = std::uint64_t;
  using TOpenHandler = std::function<void(EJournalOpen, const std::string& detail)>;
  using TFailureHandler = std::function<void(const std::string& detail)>;

  explicit TJournal(std::string path);
  // Writes still queued are finished first: the last call of a run is kept.
  ~TJournal();
  TJournal(const TJournal&) = delete;
  TJournal& operator=(const TJournal&) = delete;

  const std::string& path() const { return m_path; }

  // Opens (or recovers) the file; opened gets the outcome.
  void open(TOpenHandler opened);
  // The first write that fails after a good open, once per run.
  void setOnWriteFailed(TFailureHandler failed) { m_onWriteFailed = std::move(failed); }

  TToken record(const TJournalEntry& entry);
  void update(TToken call, const TJournalUpdate& changes);
  // The frame is shared, not copied: its bytes never change.
  void setPicture(TToken call, TJournalBytes jpeg);
  void applyRetention(std::int64_t nowMs, int maxAgeDays, std::int64_t maxPictureBytes,
                      std::function<void(TJournalRetention)> done = {});
  // Waits until everything queued so far is on disk (tests, and the window before it reads).
  void flush();

 private:
  using TJob = std::function<void(TJournalStore&)>;
  void post(TJob job);
  void run();
  // On the journal's thread: reports the first failed write.
  void writeFailed(TJournalStore& store);

  std::string m_path;
  std::unique_ptr<QObject> m_receiver;  // on the UI thread; handlers are posted to it
  TFailureHandler m_onWriteFailed;
  TToken m_nextToken = 1;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<TJob> m_jobs;
  bool m_stopping = false;
  // Journal thread only.
  std::unordered_map<TToken, std::int64_t> m_rows;
  bool m_failureReported = false;
  std::thread m_thread;
};
