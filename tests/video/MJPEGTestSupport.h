#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Helpers for the video tests: JPEG fixtures and raw loopback peers. Waiting on the event loop
// comes from support/QtTestSupport.h.

using TBytes = std::vector<unsigned char>;

// A real JPEG of the given size; `colour(x, y)` gives 0xRRGGBB for each pixel. `subsampling`
// is TurboJPEG's TJSAMP_* value (4:2:0 unless told).
TBytes makeJpeg(int width, int height,
                const std::function<std::uint32_t(int, int)>& colour = nullptr, int subsampling = 2,
                int quality = 90);
// The same picture grown to exactly `size` bytes by a comment segment after the start marker.
TBytes padJpeg(const TBytes& jpeg, std::size_t size);
std::string asText(const TBytes& bytes);
// A whole file's bytes (empty when it cannot be read), and a share of bytes as frames travel.
TBytes readBytes(const std::string& path);
std::shared_ptr<const TBytes> share(TBytes bytes);

// A one-connection HTTP peer on 127.0.0.1 over raw sockets, run by its own thread: it accepts
// one client, reads the request up to its empty line, sends `reply`, then keeps recording what
// the client sends until the client closes. With CloseAfterReply it shuts its side after the
// reply (the client then reads the end of the stream).
class TScriptedServer {
 public:
  enum class TAfterReply { KeepOpen, CloseAfterReply };

  explicit TScriptedServer(std::string reply, TAfterReply after = TAfterReply::KeepOpen);
  ~TScriptedServer();

  std::uint16_t port() const { return m_port; }
  // More bytes to the client, once the reply has gone (from the test thread).
  void send(const std::string& bytes);
  // Ends the server's side of the connection.
  void closeClient();
  // Waits (bounded) until the client has closed its side.
  bool waitClientClosed(std::chrono::milliseconds limit = std::chrono::seconds(20));
  // Everything received from the client so far.
  std::string received();

 private:
  void run();
  bool waitReplied();

  std::string m_reply;
  TAfterReply m_after;
  int m_listenFd = -1;
  int m_stopFd = -1;
  int m_clientFd = -1;
  std::uint16_t m_port = 0;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_replied = false;
  bool m_clientClosed = false;
  bool m_finished = false;
  std::string m_received;
  std::thread m_thread;
};

// A listening socket nobody accepts on: shows whether anyone tried to connect.
class TIdleListener {
 public:
  TIdleListener();
  ~TIdleListener();
  std::uint16_t port() const { return m_port; }
  bool hasPendingConnection() const;

 private:
  int m_fd = -1;
  std::uint16_t m_port = 0;
};

// A loopback port that was free a moment ago (for a peer that must choose its own port).
std::uint16_t freeLoopbackPort();

// A child program (a real peer such as ffmpeg), started with posix_spawn rather than QProcess
// so that ThreadSanitizer builds can run it. Ended (SIGTERM) and reaped on destruction.
class TSpawnedProcess {
 public:
  // False when the program cannot be started; it is looked up in PATH.
  bool start(const std::vector<std::string>& arguments);
  // True once the program has ended (reaps it).
  bool finished();
  ~TSpawnedProcess();

 private:
  int m_pid = -1;
};

// A port bound but not listening: connecting to it is refused.
class TRefusingPort {
 public:
  TRefusingPort();
  ~TRefusingPort();
  std::uint16_t port() const { return m_port; }

 private:
  int m_fd = -1;
  std::uint16_t m_port = 0;
};
