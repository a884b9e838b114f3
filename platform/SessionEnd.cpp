#include "platform/SessionEnd.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>

namespace {

// The handler may only do async-signal-safe work: it writes one byte to the pipe.
std::atomic<int> g_writeFd{-1};

void onTerm(int) {
  int fd = g_writeFd.load();
  if (fd >= 0) {
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);
  }
}

}  // namespace

TSessionEndWatcher::TSessionEndWatcher(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0) return;
  g_writeFd.store(m_fds[0]);
  m_notifier = std::make_unique<QSocketNotifier>(m_fds[1], QSocketNotifier::Read);
  connect(m_notifier.get(), &QSocketNotifier::activated, this, &TSessionEndWatcher::readSignal);
  struct sigaction action {};
  action.sa_handler = onTerm;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
}

TSessionEndWatcher::~TSessionEndWatcher() {
  ::signal(SIGTERM, SIG_DFL);
  ::signal(SIGHUP, SIG_DFL);
  g_writeFd.store(-1);
  m_notifier.reset();
  for (int fd : m_fds)
    if (fd >= 0) ::close(fd);
}

void TSessionEndWatcher::readSignal() {
  char buffer[16];
  while (::read(m_fds[1], buffer, sizeof buffer) > 0) {
  }
  emit endRequested();
}
