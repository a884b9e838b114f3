#include "signalling/ResetProbe.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

TResetProbe::~TResetProbe() { release(); }

void TResetProbe::attach(qintptr descriptor) {
  release();
  if (descriptor >= 0) m_fd = ::fcntl(static_cast<int>(descriptor), F_DUPFD_CLOEXEC, 0);
}

bool TResetProbe::wasReset() const {
  if (m_fd < 0) return false;
  tcp_info info{};
  socklen_t size = sizeof info;
  if (::getsockopt(m_fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return false;
  return info.tcpi_state == TCP_CLOSE;
}

void TResetProbe::release() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}
