#pragma once

#include <QThread>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/WaveOutDevice.h"

// Where a wave component's device notifications wait until they are handled, one at a time and
// in order: the stand-in for the hidden notification window (queued calls onto the thread that
// owns the component) or for the component's own notification thread.

struct TWaveNotice {
  enum class EKind { Opened, Done, Closed };
  EKind kind = EKind::Done;
  TWaveHeader* header = nullptr;  // Done: the buffer handed back; none for a self-posted request
};

class TWaveCallback : public IWaveOutTarget {
 public:
  using TDispatch = std::function<void(const TWaveNotice&)>;
  // `posted` runs after each notice is queued (on the posting thread), so that a waiter can look.
  TWaveCallback(TDispatch dispatch, std::function<void()> posted);
  ~TWaveCallback() override;
  TWaveCallback(const TWaveCallback&) = delete;
  TWaveCallback& operator=(const TWaveCallback&) = delete;

  void waveOutOpened() override { post({TWaveNotice::EKind::Opened, nullptr}); }
  void waveOutDone(TWaveHeader* header) override { post({TWaveNotice::EKind::Done, header}); }
  void waveOutClosed() override { post({TWaveNotice::EKind::Closed, nullptr}); }
  void post(const TWaveNotice& notice);

  // Nothing more is handled; pending notices are dropped. Safe from inside a dispatch.
  void stop();
  // Handles the pending notices now when the calling thread is the one that handles them
  // (waiting on it must not freeze the component); false on any other thread.
  virtual bool pumpHere() = 0;

 protected:
  struct TState {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<TWaveNotice> notices;
    bool stopped = false;
    std::atomic<int> depth{0};  // dispatches running now
    TDispatch dispatch;
  };
  // Takes and handles the pending notices until none is left or the callback stops.
  static void drain(const std::shared_ptr<TState>& state);
  // Called with the state's mutex held, after a notice was queued.
  virtual void wakeLocked() = 0;

  std::shared_ptr<TState> m_state;

 private:
  std::function<void()> m_posted;
};

// Notices handled by queued calls on the thread that owns the component (its event loop).
class TWaveWindowCallback final : public TWaveCallback {
 public:
  TWaveWindowCallback(QThread* owner, TDispatch dispatch, std::function<void()> posted);
  ~TWaveWindowCallback() override;
  bool pumpHere() override;

 private:
  void wakeLocked() override;
  QThread* m_owner;
  QObject* m_anchor;  // lives on the owner thread; its queued calls drain the notices
};

// Notices handled on a thread of the component's own (a plain std::thread with a locked queue).
// Destroying it from that thread itself lets the thread end by itself.
class TWaveThreadCallback final : public TWaveCallback {
 public:
  TWaveThreadCallback(TDispatch dispatch, std::function<void()> posted);
  ~TWaveThreadCallback() override;
  bool pumpHere() override { return false; }

 private:
  void wakeLocked() override;
  std::thread m_thread;
};
