#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// Helpers shared by the video benchmarks: real JPEG streams made by ffmpeg, a loopback MJPEG
// server, and CPU clocks of threads and child processes. Nothing here is used by the program.

using TFrame = std::shared_ptr<const std::vector<unsigned char>>;

// A folder of its own under $TMPDIR (or /tmp), removed on destruction.
class TBenchFolder {
 public:
  TBenchFolder();
  ~TBenchFolder();
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

// Runs a program found in PATH with stdout and stderr thrown away and waits for it. Returns the
// CPU time (user + system) it used, or a negative value when it could not run or failed.
double childCpuSeconds(const std::vector<std::string>& arguments);

// Writes `count` frames of ffmpeg's testsrc pattern, width x height, as a raw MJPEG file (the
// JPEG pictures one after the other), at a quality like a panel camera's: baseline JPEG with
// the standard Huffman tables, chroma subsampled as `subsampling` says (420, 422 or 444).
// Throws on failure.
void makeTestStream(const std::string& path, int width, int height, int count,
                    int subsampling = 420);
// ffmpeg's picture of one JPEG file, decoded fully and scaled to width x height with the
// given swscale flags, as BGRA bytes. Empty when ffmpeg failed.
std::vector<unsigned char> ffmpegScaledBgra(const std::string& jpegPath, int width, int height,
                                            const std::string& swsFlags);
// PSNR in dB over the R, G and B bytes of two BGRA pictures of the same size (alpha ignored).
double psnrBgra(const unsigned char* a, const unsigned char* b, std::size_t pixels);
// The JPEG pictures of a raw MJPEG file, each its own buffer.
std::vector<TFrame> readFrames(const std::string& path);

// CPU time of one thread of this process so far, by its kernel thread id (nanosecond clock).
double threadCpuSeconds(pid_t tid);
// The calling thread's CPU time so far.
double ownThreadCpuSeconds();
// The kernel thread ids of this process now.
std::vector<pid_t> threadIds();

// An MJPEG HTTP server on 127.0.0.1 for one client, on its own thread: after the request it
// answers multipart/x-mixed-replace and sends the frames in turn, each part with its
// Content-Length, at `fps` frames per second or as fast as the socket takes them (fps 0),
// until the client goes or the server is destroyed.
class TLoopbackMJPEGServer {
 public:
  TLoopbackMJPEGServer(std::vector<TFrame> frames, double fps);
  ~TLoopbackMJPEGServer();
  int port() const { return m_port; }
  pid_t threadId() const { return m_tid; }
  std::uint64_t framesSent() const { return m_sent; }

 private:
  void run();

  std::vector<std::string> m_parts;
  double m_fps;
  int m_listenFd = -1;
  int m_stopPipe[2] = {-1, -1};
  int m_port = 0;
  std::atomic<pid_t> m_tid{0};
  std::atomic<std::uint64_t> m_sent{0};
  std::thread m_thread;
};
