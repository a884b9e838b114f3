#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>
#include <thread>

#include "tools/panel-sim/CommandLine.h"
#include "tools/panel-sim/StopSignal.h"

// Calls a workstation over and over, as a panel whose button is pressed: a "start" now and
// every `every` seconds, each followed by a "stop" `hangupAfter` seconds later. A call still
// ringing when the run ends is hung up. An unreachable workstation is reported and tried again
// at the next call. Runs on its own thread; created and destroyed by main(), and the stop
// signal it borrows must outlive it.
class TCallScenario {
 public:
  // `startText` is the clear "start" message; `source` the local address calls come from.
  TCallScenario(const sockaddr_in& workstation, std::optional<in_addr> source,
                std::string startText, const TCallOptions& options, const TStopSignal& stop);
  // Waits for the thread: give the stop signal first.
  ~TCallScenario();
  TCallScenario(const TCallScenario&) = delete;
  TCallScenario& operator=(const TCallScenario&) = delete;

  void start();

 private:
  void run();
  bool send(const std::string& clearText, bool interruptible);

  sockaddr_in m_workstation;
  std::optional<in_addr> m_source;
  std::string m_startText;
  TCallOptions m_options;
  const TStopSignal& m_stop;
  std::thread m_thread;
};
