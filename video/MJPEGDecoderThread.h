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

// One TCP connection to a panel, on a plain POSIX socket, with TCP keepalive on.
// Thread contract: open, sendAll, setDeadline, setIdleLimit, read and connected on the one
// receiving thread; shutdownBoth from any thread (it is how a connect or read blocked in the
// receiving thread is woken, and once shut the connection cannot be opened any more). Owns the
// socket; it is closed on destruction, which must come after the receiving thread has been
// joined.
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
  // A read that waits longer than this for its first byte fails, and the connection then counts
  // as down: how a panel lost without a FIN or RST is noticed. nullopt waits without limit.
  void setIdleLimit(std::optional<std::chrono::milliseconds> limit);
  bool sendAll(const std::string& bytes);

  long read(unsigned char* data, std::size_t size) override;
  bool connected() const override;
  void shutdownBoth();

 private:
  bool waitFor(short events);

  // Written by open under m_fdMutex, read by shutdownBoth under it; the receiving thread, the
  // only writer, reads it freely.
  int m_fd = -1;
  std::mutex m_fdMutex;
  bool m_shut = false;
  std::atomic<bool> m_down{true};
  std::optional<std::chrono::steady_clock::time_point> m_deadline;
  std::optional<std::chrono::milliseconds> m_idleLimit;
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

// How the connection and reply header exchange of one Connect ended.
enum class TMJPEGOutcome {
  NotReached,  // no connection, or it went down while the header was read
  Failed,      // the header could not be read though the connection was still up
  Refused,     // a reply whose Content-Type is not the stream's
  Accepted,    // the body is being read
};

// One hand-over from the receiving thread to the UI thread, in posting order. A frame's bytes
// change owner with it.
struct TMJPEGPost {
  enum class TKind { Note, Outcome, Frame, Status, ThreadEnded };
  TKind kind = TKind::Frame;
  std::uint64_t session = 0;  // which Connect the thread belongs to
  std::shared_ptr<std::vector<unsigned char>> frame;
  TMJPEGStatus status = TMJPEGStatus::LineReadFailed;
  std::string text;  // Note: a progress note for the owner
  TMJPEGOutcome outcome = TMJPEGOutcome::NotReached;
  std::vector<std::string> header;  // Outcome: the reply's header lines, as read
};

// Largest Content-Length accepted: beyond it the stream ends without allocating.
constexpr std::size_t MJPEGMaxFrame = 16u * 1024u * 1024u;
// Total bytes of reply header kept; a larger header is a failed header read.
constexpr std::size_t MJPEGMaxHeader = 65536;
constexpr const char* MJPEGStreamContentType = "multipart/x-mixed-replace";

// Reads header lines up to the first empty line (not kept). False when a line cannot be read or
// the header grows past MJPEGMaxHeader.
bool readMJPEGReplyHeader(TMJPEGLineReader& reader, std::vector<std::string>& lines);
// The raw Content-Type value: the text after the ":" of the first line whose name matches
// "Content-Type" without regard to case; empty when there is none.
std::string mjpegContentTypeValue(const std::vector<std::string>& lines);
// The raw value trimmed and cut at its first ";", compared exactly with MJPEGStreamContentType.
bool mjpegAcceptsContentType(const std::string& rawValue);

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

// What one Connect asks of the panel.
struct TMJPEGRequest {
  std::string host;
  int port = 0;
  std::string bytes;  // the whole request, sent as it is
};

// One receiving thread: connects, sends the request, reads the reply header and, when the reply
// is accepted, the body. It posts a Note once connected, the Outcome of the header exchange, and
// for an accepted reply the frames and the final status; ThreadEnded always comes last. Asked to
// stop, it posts nothing more but ThreadEnded. Created by the decoder for each Connect, never
// restarted; owns its connection; the mailbox must outlive it. The destructor asks the thread to
// stop, shuts the connection so a blocked connect or read returns, and joins.
//
// Bounds: ConnectLimit to connect, HeaderLimit for the whole request and header exchange, and
// then IdleLimit without a byte before the stream counts as lost. The panel never holds the UI
// thread: all of these waits are here.
class TMJPEGDecoderThread {
 public:
  static constexpr std::chrono::milliseconds ConnectLimit{30};
  static constexpr std::chrono::milliseconds HeaderLimit{5000};
  static constexpr std::chrono::milliseconds IdleLimit{5000};

  TMJPEGDecoderThread(std::uint64_t session, TMJPEGRequest request, TMJPEGMailbox& mailbox);
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
  void post(TMJPEGPost message);
  // The connection and header exchange; true when the body is to be read.
  bool exchangeHeader(TMJPEGLineReader& reader);

  std::uint64_t m_session;
  TMJPEGRequest m_request;
  TMJPEGConnection m_connection;
  TMJPEGMailbox& m_mailbox;
  std::atomic<bool> m_stopRequested{false};
  std::thread m_thread;
};
