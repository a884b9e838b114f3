#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The reading side of an MJPEG stream. Nothing here uses Qt: the receiving thread must
// synchronise only through std:: primitives and plain sockets so that ThreadSanitizer sees all
// of it. The reading works on any byte source, so the fuzz target can play a reply from memory.

// Where the reply's bytes come from.
class IMJPEGSource {
 public:
  virtual ~IMJPEGSource() = default;
  // Up to `size` bytes into `data`: the count read, 0 at the end of the stream, -1 on error.
  // May block.
  virtual long read(unsigned char* data, std::size_t size) = 0;
  // False once the stream has ended, failed or been shut down locally.
  virtual bool connected() const = 0;
};

// One TCP connection to a panel, on a plain POSIX socket.
// Thread contract: open, sendAll and setDeadline on the UI thread before the receiving thread
// starts; read and connected on the one reading thread; shutdownBoth from any thread (it is how
// a read blocked in another thread is woken). Owns the socket; it is closed on destruction, which
// must come after the reading thread has been joined.
class TMJPEGConnection final : public IMJPEGSource {
 public:
  TMJPEGConnection() = default;
  ~TMJPEGConnection() override;
  TMJPEGConnection(const TMJPEGConnection&) = delete;
  TMJPEGConnection& operator=(const TMJPEGConnection&) = delete;

  // Resolves host (IPv4 address or name) and connects within `limit`. False on any failure.
  bool open(const std::string& host, int port, std::chrono::milliseconds limit);
  // Every read (and sendAll) fails once this moment has passed, and the connection then counts
  // as down; nullopt means reads wait for as long as it takes.
  void setDeadline(std::optional<std::chrono::steady_clock::time_point> deadline);
  bool sendAll(const std::string& bytes);

  long read(unsigned char* data, std::size_t size) override;
  bool connected() const override;
  void shutdownBoth();

 private:
  bool waitFor(short events);

  int m_fd = -1;
  std::atomic<bool> m_down{true};
  std::optional<std::chrono::steady_clock::time_point> m_deadline;
};

// Lines and exact-length blocks over a source, through one read-ahead buffer.
// Line rule: LF ends a line, a CR right before it is removed, and a line longer than MaxLine
// bytes without an LF is a read error. Used by one thread at a time.
class TMJPEGLineReader {
 public:
  static constexpr std::size_t MaxLine = 16384;

  // The source must outlive the reader.
  explicit TMJPEGLineReader(IMJPEGSource& source);

  // False on end of stream, read error or an over-long line.
  bool readLine(std::string& line);
  // Exactly `size` bytes (buffered ones first); false when the stream ends or fails first.
  bool readExact(unsigned char* data, std::size_t size);
  bool connected() const { return m_source.connected(); }

 private:
  bool fill();

  IMJPEGSource& m_source;
  std::vector<unsigned char> m_buffer;
  std::size_t m_begin = 0;
  std::size_t m_end = 0;
};

// Why a receiving thread stopped; the number is what the UI reports.
enum class TMJPEGStatus : int {
  FrameReadFailed = 1,
  LineReadFailed = 2,  // also: any other failure, and an over-large Content-Length
  ConnectionDown = 3,
};

// One hand-over from the receiving thread to the UI thread. A frame's bytes change owner with it.
struct TMJPEGPost {
  enum class TKind { Frame, Status, ThreadEnded };
  TKind kind = TKind::Frame;
  std::uint64_t session = 0;  // which Connect the thread belongs to
  std::shared_ptr<std::vector<unsigned char>> frame;
  TMJPEGStatus status = TMJPEGStatus::LineReadFailed;
};

// Largest Content-Length accepted: beyond it the stream ends without allocating.
constexpr std::size_t MJPEGMaxFrame = 16u * 1024u * 1024u;

// The receiving loop over a reply body: frames cut by Content-Length only, every other line
// ignored. Posts each frame and, unless asked to stop between two reads, the final status.
// `post` is called on the calling thread.
void readMJPEGBody(TMJPEGLineReader& reader, const std::atomic<bool>& stopRequested,
                   const std::function<void(TMJPEGPost)>& post);

// The Content-Length value of a body line already lower-cased and trimmed: the announced
// length, 0 for a value that is not a decimal integer, nothing when the line is no announcement.
std::optional<long> mjpegContentLength(const std::string& line);

// The queue through which receiving threads reach the UI thread, in posting order. Waking is by
// an eventfd the UI thread watches (a QSocketNotifier), so the posting side needs no Qt.
// post from any thread; wakeFd, clearWake and takeOne on the UI thread.
class TMJPEGMailbox {
 public:
  TMJPEGMailbox();
  ~TMJPEGMailbox();
  TMJPEGMailbox(const TMJPEGMailbox&) = delete;
  TMJPEGMailbox& operator=(const TMJPEGMailbox&) = delete;

  void post(TMJPEGPost message);
  int wakeFd() const { return m_wakeFd; }
  void clearWake();
  // One message at a time, so that a handler running a nested event loop still sees the
  // messages in posting order.
  std::optional<TMJPEGPost> takeOne();

 private:
  int m_wakeFd = -1;
  std::mutex m_mutex;
  std::deque<TMJPEGPost> m_posts;
};

// One receiving thread: reads one stream's body and posts frames, its status, and then
// ThreadEnded. Created by the decoder for each accepted reply, never restarted. Holds a share of
// the connection; the mailbox must outlive it. The destructor asks the thread to stop, shuts
// the connection so a blocked read returns, and joins.
class TMJPEGDecoderThread {
 public:
  TMJPEGDecoderThread(std::uint64_t session, std::shared_ptr<TMJPEGConnection> connection,
                      std::unique_ptr<TMJPEGLineReader> reader, TMJPEGMailbox& mailbox);
  ~TMJPEGDecoderThread();
  TMJPEGDecoderThread(const TMJPEGDecoderThread&) = delete;
  TMJPEGDecoderThread& operator=(const TMJPEGDecoderThread&) = delete;

  void start();
  // Any thread. The loop sees it before its next line read.
  void requestStop();
  // Stops the stream: requestStop and shut the connection down.
  void stop();
  // Waits for the thread to end; call after stop(), or once ThreadEnded has been received.
  void join();

  std::uint64_t session() const { return m_session; }

 private:
  void Execute();

  std::uint64_t m_session;
  std::shared_ptr<TMJPEGConnection> m_connection;
  std::unique_ptr<TMJPEGLineReader> m_reader;
  TMJPEGMailbox& m_mailbox;
  std::atomic<bool> m_stopRequested{false};
  std::thread m_thread;
};
