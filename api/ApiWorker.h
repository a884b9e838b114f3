#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "api/ApiRequest.h"
#include "api/HttpApi.h"

class QObject;

// The one thread that talks to the panels' API. Requests run one after the other in the order
// asked, so they never overlap and the window never waits on a panel; each result comes back
// to the thread that made the worker by a queued call, in the same order.
//
// Thread contract: construct, request, shutdown and destroy on the UI thread (a Qt event loop
// must run there for the results to arrive). Callbacks run on that thread, never after
// shutdown. Shutdown does not wait for a request's time-outs: the running one is cut off, the
// queued ones are dropped.
class TApiWorker {
 public:
  using TCallback = std::function<void(const TApiResult&)>;

  TApiWorker();
  ~TApiWorker();
  TApiWorker(const TApiWorker&) = delete;
  TApiWorker& operator=(const TApiWorker&) = delete;

  // Queues the request; done (may be empty) gets its result later.
  void request(TApiRequest request, TCallback done);

  // Ends the thread; idempotent. Nothing runs and no callback comes afterwards.
  void shutdown();

 private:
  struct TJob {
    TApiRequest request;
    TCallback done;
  };
  void run();

  std::unique_ptr<QObject> m_receiver;  // lives on the UI thread; results are posted to it
  THttpApi m_http;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<TJob> m_jobs;
  bool m_stopping = false;
  std::thread m_thread;
};
