#pragma once

#include <atomic>
#include <chrono>

// The end of the run, shared by every thread of the simulated panel. Its descriptor becomes
// readable once stop() was called and stays so, so a thread blocked in poll() on a socket
// wakes up by watching it too. Owned by main(); every other user only borrows it and must be
// joined before it goes.
class TStopSignal {
 public:
  TStopSignal();  // throws std::system_error when no descriptor can be made
  ~TStopSignal();
  TStopSignal(const TStopSignal&) = delete;
  TStopSignal& operator=(const TStopSignal&) = delete;

  // Any thread, any number of times.
  void stop();
  bool stopped() const;

  // Waits up to `duration`; true when the run ended meanwhile.
  bool waitFor(std::chrono::milliseconds duration) const;

  // For poll() sets: readable once stopped.
  int fd() const { return m_fd; }

 private:
  int m_fd = -1;
  std::atomic<bool> m_stopped{false};
};
