#include "video/MJPEGDecoderThread.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "base/Text.h"
#include "base/TimingMark.h"

// ---- TMJPEGConnection ----------------------------------------------------------------------

TMJPEGConnection::~TMJPEGConnection() {
  if (m_fd >= 0) ::close(m_fd);
}

bool TMJPEGConnection::open(const std::string& host, int port, std::chrono::milliseconds limit) {
  if (m_fd >= 0 || port <= 0 || port > 65535 || host.empty()) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;  // panels are IPv4
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof(address));
  ::freeaddrinfo(found);
  address.sin_port = htons(static_cast<std::uint16_t>(port));

  // Non-blocking throughout: every wait is a poll, so a deadline and a local shutdown both end it.
  {
    std::lock_guard<std::mutex> lock(m_fdMutex);
    if (m_shut) return false;
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  }
  if (m_fd < 0) return false;
  // A panel that loses power sends no FIN: keepalive lets the kernel find out too, beside the
  // idle limit on reads.
  const int on = 1, idle = 5, interval = 2, probes = 3;
  ::setsockopt(m_fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof(on));
  ::setsockopt(m_fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof(idle));
  ::setsockopt(m_fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof(interval));
  ::setsockopt(m_fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof(probes));
  if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    if (errno != EINPROGRESS) return false;
    pollfd waiting{m_fd, POLLOUT, 0};
    int ready;
    do {
      ready = ::poll(&waiting, 1, static_cast<int>(limit.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return false;
    int error = 0;
    socklen_t length = sizeof(error);
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return false;
  }
  std::lock_guard<std::mutex> lock(m_fdMutex);
  // Shut while connecting: stays down.
  if (m_shut) return false;
  m_down = false;
  return true;
}

void TMJPEGConnection::setDeadline(std::optional<std::chrono::steady_clock::time_point> deadline) {
  m_deadline = deadline;
}

void TMJPEGConnection::setIdleLimit(std::optional<std::chrono::milliseconds> limit) {
  m_idleLimit = limit;
}

bool TMJPEGConnection::waitFor(short events) {
  std::optional<std::chrono::steady_clock::time_point> until = m_deadline;
  if (m_idleLimit) {
    const auto idleEnd = std::chrono::steady_clock::now() + *m_idleLimit;
    if (!until || idleEnd < *until) until = idleEnd;
  }
  for (;;) {
    int timeout = -1;
    if (until) {
      auto left =
          std::chrono::ceil<std::chrono::milliseconds>(*until - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      timeout = static_cast<int>(left.count());
    }
    pollfd waiting{m_fd, events, 0};
    int ready = ::poll(&waiting, 1, timeout);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

bool TMJPEGConnection::sendAll(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    if (m_down) return false;
    ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!waitFor(POLLOUT)) {
        m_down = true;
        return false;
      }
    } else {
      m_down = true;
      return false;
    }
  }
  return true;
}

long TMJPEGConnection::read(unsigned char* data, std::size_t size) {
  if (m_fd < 0) return -1;
  for (;;) {
    if (!waitFor(POLLIN)) {
      // A read that outlives its deadline leaves the connection unusable.
      m_down = true;
      return -1;
    }
    ssize_t n = ::recv(m_fd, data, size, 0);
    if (n > 0) return static_cast<long>(n);
    if (n == 0) {
      m_down = true;
      return 0;
    }
    if (errno != EAGAIN && errno != EINTR) {
      m_down = true;
      return -1;
    }
  }
}

bool TMJPEGConnection::connected() const { return !m_down; }

void TMJPEGConnection::shutdownBoth() {
  std::lock_guard<std::mutex> lock(m_fdMutex);
  m_shut = true;
  m_down = true;
  if (m_fd >= 0) ::shutdown(m_fd, SHUT_RDWR);
}

// ---- TMJPEGLineReader ----------------------------------------------------------------------

TMJPEGLineReader::TMJPEGLineReader(IMJPEGSource& source) : m_source(source), m_buffer(65536) {}

bool TMJPEGLineReader::fill() {
  if (m_begin == m_end) {
    m_begin = m_end = 0;
  } else if (m_end == m_buffer.size()) {
    std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
    m_end -= m_begin;
    m_begin = 0;
  }
  long n = m_source.read(m_buffer.data() + m_end, m_buffer.size() - m_end);
  if (n <= 0) return false;
  m_end += static_cast<std::size_t>(n);
  return true;
}

bool TMJPEGLineReader::readLine(std::string& line) {
  std::size_t scanned = 0;  // bytes after m_begin already known to hold no LF
  for (;;) {
    const unsigned char* start = m_buffer.data() + m_begin;
    const std::size_t available = m_end - m_begin;
    const void* lf = std::memchr(start + scanned, '\n', available - scanned);
    if (lf) {
      std::size_t length = static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - start);
      if (length > MaxLine) return false;
      std::size_t text = length;
      if (text > 0 && start[text - 1] == '\r') --text;
      line.assign(reinterpret_cast<const char*>(start), text);
      m_begin += length + 1;
      return true;
    }
    if (available > MaxLine) return false;
    scanned = available;
    if (!fill()) return false;
  }
}

bool TMJPEGLineReader::readExact(unsigned char* data, std::size_t size) {
  std::size_t done = std::min(size, m_end - m_begin);
  if (done > 0) std::memcpy(data, m_buffer.data() + m_begin, done);
  m_begin += done;
  // The rest goes straight into the caller's buffer: no second copy of a frame.
  while (done < size) {
    long n = m_source.read(data + done, size - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// ---- reply header -------------------------------------------------------------------------

bool readMJPEGReplyHeader(TMJPEGLineReader& reader, std::vector<std::string>& lines) {
  std::size_t total = 0;
  std::string line;
  for (;;) {
    if (!reader.readLine(line)) return false;
    if (line.empty()) return true;
    total += line.size() + 2;
    if (total > MJPEGMaxHeader) return false;
    lines.push_back(line);
  }
}

std::string mjpegContentTypeValue(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    // The name is taken as it stands: "Content-Type :" does not match.
    if (lowerAscii(line.substr(0, colon)) == "content-type") return line.substr(colon + 1);
  }
  return {};
}

bool mjpegAcceptsContentType(const std::string& rawValue) {
  const std::string value = trimText(rawValue);
  return value.substr(0, value.find(';')) == MJPEGStreamContentType;
}

// ---- body reading --------------------------------------------------------------------------

std::optional<long> mjpegContentLength(const std::string& line) {
  static const std::string announcement = "content-length:";
  if (!startsWith(line, announcement)) return std::nullopt;
  const std::string value = trimText(line.substr(announcement.size()));
  // A 32-bit signed decimal, with an optional sign; anything else counts as 0.
  std::size_t at = 0;
  bool negative = false;
  if (at < value.size() && (value[at] == '+' || value[at] == '-')) negative = value[at++] == '-';
  if (at == value.size()) return 0L;
  long result = 0;
  for (; at < value.size(); ++at) {
    if (value[at] < '0' || value[at] > '9') return 0L;
    result = result * 10 + (value[at] - '0');
    if (result > 2147483648L) return 0L;
  }
  if (negative) result = -result;
  if (result > 2147483647L) return 0L;
  return result;
}

void readMJPEGBody(TMJPEGLineReader& reader, const std::atomic<bool>& stopRequested,
                   const std::function<void(TMJPEGPost)>& post) {
  auto finish = [&](TMJPEGStatus status) {
    TMJPEGPost message;
    message.kind = TMJPEGPost::TKind::Status;
    message.status = status;
    post(std::move(message));
  };
  try {
    long pending = 0;
    while (!stopRequested.load()) {
      if (!reader.connected()) return finish(TMJPEGStatus::ConnectionDown);
      std::string line;
      if (!reader.readLine(line))
        return finish(reader.connected() ? TMJPEGStatus::LineReadFailed
                                         : TMJPEGStatus::ConnectionDown);
      line = trimText(lowerAscii(std::move(line)));
      if (!reader.connected()) return finish(TMJPEGStatus::ConnectionDown);
      if (auto announced = mjpegContentLength(line)) {
        // A later announcement before the empty line replaces an earlier one.
        pending = *announced;
        line = trimText(line.substr(15));
      }
      if (!line.empty() || pending <= 0) continue;
      // The peer must not decide an allocation of any size.
      if (static_cast<unsigned long>(pending) > MJPEGMaxFrame)
        return finish(TMJPEGStatus::LineReadFailed);
      auto frame = std::make_shared<std::vector<unsigned char>>(static_cast<std::size_t>(pending));
      pending = 0;
      if (!reader.readExact(frame->data(), frame->size()))
        return finish(TMJPEGStatus::FrameReadFailed);
      timingMark("frame-read");
      TMJPEGPost message;
      message.kind = TMJPEGPost::TKind::Frame;
      message.frame = std::move(frame);
      post(std::move(message));
    }
  } catch (...) {
    try {
      finish(TMJPEGStatus::LineReadFailed);
    } catch (...) {
      // Out of memory even for the status: the ThreadEnded notice still clears the state.
    }
  }
}

// ---- TMJPEGMailbox -------------------------------------------------------------------------

TMJPEGMailbox::TMJPEGMailbox() : m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (m_wakeFd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TMJPEGMailbox::~TMJPEGMailbox() { ::close(m_wakeFd); }

void TMJPEGMailbox::post(TMJPEGPost message) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_posts.push_back(std::move(message));
  }
  const std::uint64_t one = 1;
  // Only fails when the counter is saturated, and then the UI is already due to wake.
  [[maybe_unused]] ssize_t written = ::write(m_wakeFd, &one, sizeof(one));
}

void TMJPEGMailbox::clearWake() {
  std::uint64_t count = 0;
  [[maybe_unused]] ssize_t got = ::read(m_wakeFd, &count, sizeof(count));
}

std::optional<TMJPEGPost> TMJPEGMailbox::takeOne() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_posts.empty()) return std::nullopt;
  TMJPEGPost taken = std::move(m_posts.front());
  m_posts.pop_front();
  return taken;
}

// ---- TMJPEGDecoderThread -------------------------------------------------------------------

TMJPEGDecoderThread::TMJPEGDecoderThread(std::uint64_t session, TMJPEGRequest request,
                                         TMJPEGMailbox& mailbox)
    : m_session(session), m_request(std::move(request)), m_mailbox(mailbox) {}

TMJPEGDecoderThread::~TMJPEGDecoderThread() {
  stop();
  join();
}

void TMJPEGDecoderThread::start() {
  if (!m_thread.joinable()) m_thread = std::thread([this] { Execute(); });
}

void TMJPEGDecoderThread::requestStop() { m_stopRequested = true; }

void TMJPEGDecoderThread::stop() {
  requestStop();
  m_connection.shutdownBoth();
}

void TMJPEGDecoderThread::join() {
  if (m_thread.joinable()) m_thread.join();
}

void TMJPEGDecoderThread::post(TMJPEGPost message) {
  message.session = m_session;
  m_mailbox.post(std::move(message));
}

bool TMJPEGDecoderThread::exchangeHeader(TMJPEGLineReader& reader) {
  TMJPEGPost outcome;
  outcome.kind = TMJPEGPost::TKind::Outcome;
  if (!m_connection.open(m_request.host, m_request.port, ConnectLimit)) {
    if (!m_stopRequested) post(std::move(outcome));
    return false;
  }
  if (m_stopRequested) return false;
  TMJPEGPost note;
  note.kind = TMJPEGPost::TKind::Note;
  note.text = "Connected, sending request";
  post(std::move(note));
  // A peer that accepts and then stays silent ends the attempt, not the program's patience.
  m_connection.setDeadline(std::chrono::steady_clock::now() + HeaderLimit);
  timingMark("request-sent");
  const bool read =
      m_connection.sendAll(m_request.bytes) && readMJPEGReplyHeader(reader, outcome.header);
  timingMark("reply-header-read");
  if (m_stopRequested) return false;
  if (!read) {
    outcome.outcome = m_connection.connected() ? TMJPEGOutcome::Failed : TMJPEGOutcome::NotReached;
    m_connection.shutdownBoth();
    post(std::move(outcome));
    return false;
  }
  const bool accepted = mjpegAcceptsContentType(mjpegContentTypeValue(outcome.header));
  outcome.outcome = accepted ? TMJPEGOutcome::Accepted : TMJPEGOutcome::Refused;
  if (!accepted) m_connection.shutdownBoth();
  post(std::move(outcome));
  return accepted;
}

void TMJPEGDecoderThread::Execute() {
  try {
    TMJPEGLineReader reader(m_connection);
    if (exchangeHeader(reader)) {
      m_connection.setDeadline(std::nullopt);
      m_connection.setIdleLimit(IdleLimit);
      readMJPEGBody(reader, m_stopRequested,
                    [this](TMJPEGPost message) { post(std::move(message)); });
    }
  } catch (...) {
    // Out of memory: the ThreadEnded notice still tells the decoder the attempt is over.
  }
  TMJPEGPost ended;
  ended.kind = TMJPEGPost::TKind::ThreadEnded;
  try {
    post(std::move(ended));
  } catch (...) {
    // Nothing left to tell with; the decoder joins every thread it made when destroyed.
  }
}
