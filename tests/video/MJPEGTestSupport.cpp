#include "tests/video/MJPEGTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "tests/support/QtTestSupport.h"

namespace {

std::uint16_t boundPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof(address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

int loopbackSocket(bool listening) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      (listening && ::listen(fd, 4) != 0)) {
    ::close(fd);
    throw std::runtime_error("bind/listen on loopback");
  }
  return fd;
}

void sendEverything(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the client went away; nothing more to deliver
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

TBytes makeJpeg(int width, int height, const std::function<std::uint32_t(int, int)>& colour,
                int subsampling, int quality) {
  std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint32_t c = colour ? colour(x, y) : ((x * 7) & 0xFF) << 16 | ((y * 5) & 0xFF) << 8;
      unsigned char* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      p[0] = static_cast<unsigned char>(c >> 16);
      p[1] = static_cast<unsigned char>(c >> 8);
      p[2] = static_cast<unsigned char>(c);
    }
  tjhandle handle = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, subsampling, quality,
                  0) != 0) {
    tjDestroy(handle);
    throw std::runtime_error("tjCompress2 failed");
  }
  TBytes jpeg(out, out + size);
  tjFree(out);
  tjDestroy(handle);
  return jpeg;
}

TBytes padJpeg(const TBytes& jpeg, std::size_t size) {
  const std::size_t segment = size - jpeg.size();  // marker (2) + length (2) + payload
  if (size < jpeg.size() + 4 || segment - 2 > 65535) throw std::runtime_error("cannot pad");
  const std::size_t length = segment - 2;
  TBytes padded(jpeg.begin(), jpeg.begin() + 2);  // SOI
  padded.push_back(0xFF);
  padded.push_back(0xFE);  // COM
  padded.push_back(static_cast<unsigned char>(length >> 8));
  padded.push_back(static_cast<unsigned char>(length & 0xFF));
  padded.insert(padded.end(), length - 2, 'p');
  padded.insert(padded.end(), jpeg.begin() + 2, jpeg.end());
  return padded;
}

std::string asText(const TBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TBytes readBytes(const std::string& path) {
  const std::string bytes = readFileBytes(path);
  return TBytes(bytes.begin(), bytes.end());
}

std::shared_ptr<const TBytes> share(TBytes bytes) {
  return std::make_shared<const TBytes>(std::move(bytes));
}

// ---- TScriptedServer -----------------------------------------------------------------------

TScriptedServer::TScriptedServer(std::string reply, TAfterReply after)
    : m_reply(std::move(reply)), m_after(after) {
  m_listenFd = loopbackSocket(true);
  m_port = boundPort(m_listenFd);
  m_stopFd = ::eventfd(0, EFD_CLOEXEC);
  m_thread = std::thread([this] { run(); });
}

TScriptedServer::~TScriptedServer() {
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(m_stopFd, &one, sizeof(one));
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_clientFd >= 0) ::shutdown(m_clientFd, SHUT_RDWR);  // ends a blocked send
  }
  m_thread.join();
  if (m_clientFd >= 0) ::close(m_clientFd);
  ::close(m_listenFd);
  ::close(m_stopFd);
}

void TScriptedServer::run() {
  auto finish = [this] {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_replied = true;
    m_clientClosed = true;
    m_finished = true;
    m_changed.notify_all();
  };
  pollfd waiting[2] = {{m_listenFd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
  if (::poll(waiting, 2, -1) <= 0 || waiting[1].revents) return finish();
  const int client = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return finish();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clientFd = client;
  }
  bool open = true;
  char chunk[65536];
  auto receive = [&]() {
    pollfd both[2] = {{client, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
    if (::poll(both, 2, -1) <= 0 || both[1].revents) return false;
    ssize_t n = ::recv(client, chunk, sizeof(chunk), 0);
    if (n <= 0) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received.append(chunk, static_cast<std::size_t>(n));
    return true;
  };
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_received.find("\r\n\r\n") != std::string::npos) break;
    }
    if (!receive()) {
      open = false;
      break;
    }
  }
  if (open) {
    sendEverything(client, m_reply);
    if (m_after == TAfterReply::CloseAfterReply) ::shutdown(client, SHUT_WR);
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_replied = true;
    m_changed.notify_all();
  }
  while (open && receive()) {
  }
  finish();
}

bool TScriptedServer::waitReplied() {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, std::chrono::seconds(20), [this] { return m_replied; });
}

void TScriptedServer::send(const std::string& bytes) {
  if (!waitReplied()) return;
  int fd;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_finished || m_clientFd < 0) return;
    fd = m_clientFd;
  }
  sendEverything(fd, bytes);
}

void TScriptedServer::closeClient() {
  if (!waitReplied()) return;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_clientFd >= 0) ::shutdown(m_clientFd, SHUT_WR);
}

bool TScriptedServer::waitClientClosed(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, limit, [this] { return m_clientClosed; });
}

std::string TScriptedServer::received() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_received;
}

// ---- TIdleListener / TRefusingPort ---------------------------------------------------------

TIdleListener::TIdleListener() : m_fd(loopbackSocket(true)), m_port(boundPort(m_fd)) {}
TIdleListener::~TIdleListener() { ::close(m_fd); }

bool TIdleListener::hasPendingConnection() const {
  pollfd waiting{m_fd, POLLIN, 0};
  return ::poll(&waiting, 1, 0) > 0;
}

TRefusingPort::TRefusingPort() : m_fd(loopbackSocket(false)), m_port(boundPort(m_fd)) {}
TRefusingPort::~TRefusingPort() { ::close(m_fd); }

std::uint16_t freeLoopbackPort() {
  const int fd = loopbackSocket(false);
  const std::uint16_t port = boundPort(fd);
  ::close(fd);
  return port;
}

bool TSpawnedProcess::start(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  m_pid = pid;
  return true;
}

bool TSpawnedProcess::finished() {
  if (m_pid < 0) return true;
  int status = 0;
  if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return false;
  m_pid = -1;
  return true;
}

TSpawnedProcess::~TSpawnedProcess() {
  if (m_pid < 0) return;
  ::kill(m_pid, SIGTERM);
  int status = 0;
  ::waitpid(m_pid, &status, 0);
}
