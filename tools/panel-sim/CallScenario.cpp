#include "tools/panel-sim/CallScenario.h"

#include <chrono>

#include "tools/panel-sim/Messages.h"
#include "tools/panel-sim/Net.h"
#include "tools/panel-sim/Notify.h"
#include "tools/panel-sim/SimLog.h"

TCallScenario::TCallScenario(const sockaddr_in& workstation, std::optional<in_addr> source,
                             std::string startText, const TCallOptions& options,
                             const TStopSignal& stop)
    : m_workstation(workstation),
      m_source(source),
      m_startText(std::move(startText)),
      m_options(options),
      m_stop(stop) {}

TCallScenario::~TCallScenario() {
  if (m_thread.joinable()) m_thread.join();
}

void TCallScenario::start() {
  m_thread = std::thread([this] { run(); });
}

bool TCallScenario::send(const std::string& clearText, bool interruptible) {
  try {
    sendNotification(m_workstation, m_source, clearText, false, interruptible ? m_stop.fd() : -1);
    return true;
  } catch (const ENetError& e) {
    errorLine(std::string("call: ") + e.what());
    return false;
  }
}

void TCallScenario::run() {
  using Clock = std::chrono::steady_clock;
  const auto every = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(m_options.everySeconds));
  const auto hangup = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(m_options.hangupAfterSeconds));
  auto waitUntil = [this](Clock::time_point t) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now());
    return m_stop.waitFor(left.count() > 0 ? left : std::chrono::milliseconds(0));
  };
  for (auto callAt = Clock::now();; callAt += every) {
    if (waitUntil(callAt)) return;
    const bool ringing = send(m_startText, true);
    const bool ended = waitUntil(callAt + hangup);
    // Hang up even when the run is ending, so the workstation is not left watching; that
    // last send cannot be cut short by the stop, only by its own time limits.
    if (ringing) send(StopMessage, !ended);
    if (ended) return;
  }
}
