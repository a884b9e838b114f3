#include "bench/BenchSupport.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

TBenchFolder::TBenchFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/ostrel-bench.XXXXXX";
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
  m_path = pattern;
}

TBenchFolder::~TBenchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

double childCpuSeconds(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  struct rusage usage {};
  while (::wait4(pid, &status, 0, &usage) < 0)
    if (errno != EINTR) return -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void makeTestStream(const std::string& path, int width, int height, int count, int subsampling) {
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  // Without a pixel format ffmpeg keeps testsrc's RGB as 4:4:4, which cameras rarely send.
  const std::string format = "yuvj" + std::to_string(subsampling) + "p";
  if (childCpuSeconds({"ffmpeg",
                       "-nostdin",
                       "-v",
                       "error",
                       "-y",
                       "-f",
                       "lavfi",
                       "-i",
                       "testsrc=size=" + size + ":rate=25",
                       "-frames:v",
                       std::to_string(count),
                       "-pix_fmt",
                       format,
                       "-huffman",
                       "default",
                       "-q:v",
                       "5",
                       "-f",
                       "mjpeg",
                       path}) < 0)
    throw std::runtime_error("ffmpeg could not make " + path);
}

std::vector<unsigned char> ffmpegScaledBgra(const std::string& jpegPath, int width, int height,
                                            const std::string& swsFlags) {
  const std::string out = jpegPath + ".bgra";
  if (childCpuSeconds(
          {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", jpegPath, "-vf",
           "scale=" + std::to_string(width) + ":" + std::to_string(height) + ":flags=" + swsFlags,
           "-pix_fmt", "bgra", "-f", "rawvideo", out}) < 0)
    return {};
  std::ifstream in(out, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  std::filesystem::remove(out);
  if (bytes.size() != static_cast<std::size_t>(width) * height * 4) return {};
  return bytes;
}

double psnrBgra(const unsigned char* a, const unsigned char* b, std::size_t pixels) {
  double squares = 0;
  for (std::size_t i = 0; i < pixels * 4; ++i) {
    if (i % 4 == 3) continue;
    const double d = static_cast<double>(a[i]) - b[i];
    squares += d * d;
  }
  const double mean = squares / static_cast<double>(pixels * 3);
  return mean == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mean);
}

std::vector<TFrame> readFrames(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> all((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
  // Entropy-coded data never holds FF D9 (an FF there is stuffed), so each picture ends at
  // the first end-of-image marker after its start.
  std::vector<TFrame> frames;
  std::size_t start = 0;
  for (std::size_t i = 0; i + 1 < all.size(); ++i) {
    if (all[i] == 0xFF && all[i + 1] == 0xD9) {
      frames.push_back(std::make_shared<const std::vector<unsigned char>>(
          all.begin() + static_cast<long>(start), all.begin() + static_cast<long>(i + 2)));
      start = i + 2;
      ++i;
    }
  }
  if (frames.empty()) throw std::runtime_error("no JPEG pictures in " + path);
  return frames;
}

double threadCpuSeconds(pid_t tid) {
  // The kernel's per-thread CPU clock id for a thread id (what pthread_getcpuclockid builds):
  // CPUCLOCK_SCHED with the per-thread bit.
  const clockid_t clock = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6);
  timespec t{};
  if (::clock_gettime(clock, &t) != 0) return -1;
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

double ownThreadCpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

std::vector<pid_t> threadIds() {
  std::vector<pid_t> ids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    ids.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
  return ids;
}

TLoopbackMJPEGServer::TLoopbackMJPEGServer(std::vector<TFrame> frames, double fps) : m_fps(fps) {
  for (const TFrame& frame : frames) {
    std::string part =
        "--frame\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(frame->size()) +
        "\r\n\r\n";
    part.append(frame->begin(), frame->end());
    part += "\r\n";
    m_parts.push_back(std::move(part));
  }
  m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(m_listenFd, 1) != 0 ||
      ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::pipe2(m_stopPipe, O_CLOEXEC) != 0)
    throw std::runtime_error("cannot listen on loopback");
  m_port = ntohs(address.sin_port);
  m_thread = std::thread([this] { run(); });
  while (m_tid == 0) std::this_thread::yield();
}

TLoopbackMJPEGServer::~TLoopbackMJPEGServer() {
  const char stop = 1;
  (void)!::write(m_stopPipe[1], &stop, 1);
  m_thread.join();
  ::close(m_listenFd);
  ::close(m_stopPipe[0]);
  ::close(m_stopPipe[1]);
}

void TLoopbackMJPEGServer::run() {
  m_tid = static_cast<pid_t>(::syscall(SYS_gettid));
  auto stopped = [this](int fd, short events, int timeoutMs) {
    pollfd fds[2] = {{m_stopPipe[0], POLLIN, 0}, {fd, events, 0}};
    ::poll(fds, 2, timeoutMs);
    return (fds[0].revents & POLLIN) != 0;
  };
  if (stopped(m_listenFd, POLLIN, -1)) return;
  const int client = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return;
  // The request ends with an empty line; nothing else is expected from the client.
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    if (stopped(client, POLLIN, -1)) return (void)::close(client);
    const long n = ::recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) return (void)::close(client);
    request.append(buffer, static_cast<std::size_t>(n));
  }
  auto sendAll = [&](const std::string& bytes) {
    std::size_t offset = 0;
    while (offset < bytes.size()) {
      if (stopped(client, POLLOUT, -1)) return false;
      const long n = ::send(client, bytes.data() + offset, bytes.size() - offset, MSG_NOSIGNAL);
      if (n <= 0) return false;
      offset += static_cast<std::size_t>(n);
    }
    return true;
  };
  if (!sendAll("HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=frame\r\n\r\n"))
    return (void)::close(client);
  const auto period =
      m_fps > 0 ? std::chrono::duration<double>(1.0 / m_fps) : std::chrono::duration<double>(0);
  auto next = std::chrono::steady_clock::now();
  for (std::size_t i = 0;; ++i) {
    if (!sendAll(m_parts[i % m_parts.size()])) return (void)::close(client);
    ++m_sent;
    if (m_fps > 0) {
      // Paced like a camera: the next frame is due one period after this one was.
      next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
          next - std::chrono::steady_clock::now());
      if (wait.count() > 0 && stopped(client, 0, static_cast<int>(wait.count())))
        return (void)::close(client);
    }
  }
}
