#include "audio/wave/WaveCallback.h"

#include <QCoreApplication>
#include <QMetaObject>

TWaveCallback::TWaveCallback(TDispatch dispatch, std::function<void()> posted)
    : m_state(std::make_shared<TState>()), m_posted(std::move(posted)) {
  m_state->dispatch = std::move(dispatch);
}

TWaveCallback::~TWaveCallback() = default;

void TWaveCallback::post(const TWaveNotice& notice) {
  {
    std::lock_guard lock(m_state->mutex);
    if (m_state->stopped) return;
    m_state->notices.push_back(notice);
    wakeLocked();
  }
  if (m_posted) m_posted();
}

void TWaveCallback::stop() {
  std::lock_guard lock(m_state->mutex);
  m_state->stopped = true;
  m_state->notices.clear();
  m_state->wake.notify_all();
}

void TWaveCallback::drain(const std::shared_ptr<TState>& state) {
  for (;;) {
    TWaveNotice notice;
    {
      std::lock_guard lock(state->mutex);
      if (state->stopped || state->notices.empty()) return;
      notice = state->notices.front();
      state->notices.pop_front();
    }
    ++state->depth;
    state->dispatch(notice);
    --state->depth;
  }
}

TWaveWindowCallback::TWaveWindowCallback(QThread* owner, TDispatch dispatch,
                                         std::function<void()> posted)
    : TWaveCallback(std::move(dispatch), std::move(posted)), m_owner(owner), m_anchor(new QObject) {
  if (m_anchor->thread() != m_owner) m_anchor->moveToThread(m_owner);
}

TWaveWindowCallback::~TWaveWindowCallback() {
  stop();
  // Deleting the anchor drops its pending calls. From inside one of them, let it return first.
  if (QThread::currentThread() == m_owner && m_state->depth == 0)
    delete m_anchor;
  else
    m_anchor->deleteLater();
}

bool TWaveWindowCallback::pumpHere() {
  if (QThread::currentThread() != m_owner) return false;
  drain(m_state);
  return true;
}

void TWaveWindowCallback::wakeLocked() {
  QMetaObject::invokeMethod(
      m_anchor, [state = m_state] { drain(state); }, Qt::QueuedConnection);
}

TWaveThreadCallback::TWaveThreadCallback(TDispatch dispatch, std::function<void()> posted)
    : TWaveCallback(std::move(dispatch), std::move(posted)) {
  m_thread = std::thread([state = m_state] {
    std::unique_lock lock(state->mutex);
    for (;;) {
      state->wake.wait(lock, [&] { return state->stopped || !state->notices.empty(); });
      if (state->stopped) return;
      const TWaveNotice notice = state->notices.front();
      state->notices.pop_front();
      lock.unlock();
      ++state->depth;
      state->dispatch(notice);
      --state->depth;
      lock.lock();
    }
  });
}

TWaveThreadCallback::~TWaveThreadCallback() {
  stop();
  // From its own thread (the component deactivating inside a dispatch) the thread ends by itself
  // once that dispatch returns; it holds nothing of the component but the stopped queue.
  if (m_thread.get_id() == std::this_thread::get_id())
    m_thread.detach();
  else if (m_thread.joinable())
    m_thread.join();
}

void TWaveThreadCallback::wakeLocked() { m_state->wake.notify_one(); }
