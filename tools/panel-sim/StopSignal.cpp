#include "tools/panel-sim/StopSignal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

TStopSignal::TStopSignal() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (m_fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TStopSignal::~TStopSignal() { ::close(m_fd); }

void TStopSignal::stop() {
  if (m_stopped.exchange(true)) return;
  std::uint64_t one = 1;
  // Nobody reads the counter back, so the descriptor stays readable for every poller.
  [[maybe_unused]] ssize_t n = ::write(m_fd, &one, sizeof one);
}

bool TStopSignal::stopped() const { return m_stopped.load(); }

bool TStopSignal::waitFor(std::chrono::milliseconds duration) const {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  while (!stopped()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{m_fd, POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(left.count()));
  }
  return true;
}
