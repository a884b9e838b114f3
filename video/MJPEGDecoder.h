#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "video/JpegImage.h"
#include "video/MJPEGDecoderInterface.h"
#include "video/MJPEGDecoderThread.h"

class QSocketNotifier;

// The client of one panel's MJPEG stream over HTTP.
//
// Thread contract: created, used and destroyed on the UI thread (the thread running the Qt event
// loop); every handler is called there. Connect only starts a TMJPEGDecoderThread, which
// connects, exchanges the request and reply header and reads the body; what it finds comes back
// through the event loop in order, so no panel can hold the UI thread.
//
// Ownership: the owner (the stream controller) owns the decoder; frames handed to OnFrame belong
// to the handler. Nothing is delivered after destruction: destroying the decoder stops and joins
// its threads and drops what they had posted. Handlers of delivered messages may do anything,
// including destroying the decoder.
class TMJPEGDecoder final : public IMJPEGDecoder {
 public:
  static constexpr std::chrono::milliseconds ConnectLimit = TMJPEGDecoderThread::ConnectLimit;
  // The whole request and reply header exchange, after connecting.
  static constexpr std::chrono::milliseconds HeaderLimit = TMJPEGDecoderThread::HeaderLimit;
  static constexpr std::size_t MaxHeaderBytes = MJPEGMaxHeader;
  static constexpr const char* StreamContentType = MJPEGStreamContentType;

  TMJPEGDecoder();
  ~TMJPEGDecoder() override;
  TMJPEGDecoder(const TMJPEGDecoder&) = delete;
  TMJPEGDecoder& operator=(const TMJPEGDecoder&) = delete;

  // Starts the stream: the receiving thread connects, sends the GET, reads the reply header and
  // goes on with the body when the reply is multipart/x-mixed-replace. Success shows as
  // Connected() once the reply has been handled; failures as OnError texts. Never throws.
  void Connect(const std::string& address, int port, const std::string& path,
               const std::string& login, const std::string& password) override;
  void Disconnect() override;

  bool Connected() const override { return m_connected; }
  bool Connecting() const override { return m_connecting; }
  bool BadContentType() const override { return m_badContentType; }
  // A receiving thread of this decoder has not yet reported its end.
  bool ThreadRunning() const { return !m_threads.empty(); }
  const std::string& Path() const { return m_path; }
  // The last reply's header lines, in order, without the empty line that ends them.
  const std::vector<std::string>& headerLines() const { return m_headerLines; }

  // Base64 of login ":" password as raw bytes, or empty when either is empty.
  static std::string basicCredential(const std::string& login, const std::string& password);
  // The request, byte for byte: the GET line, the Authorization line, an empty line.
  static std::string requestText(const std::string& path, const std::string& credential);
  static bool readReplyHeader(TMJPEGLineReader& reader, std::vector<std::string>& lines) {
    return readMJPEGReplyHeader(reader, lines);
  }
  static std::string contentTypeValue(const std::vector<std::string>& lines) {
    return mjpegContentTypeValue(lines);
  }
  static bool acceptsContentType(const std::string& rawValue) {
    return mjpegAcceptsContentType(rawValue);
  }

 private:
  void deliverPosts();
  // False when a handler destroyed the decoder.
  bool handlePost(TMJPEGPost& post);
  // False when a handler destroyed the decoder.
  bool handleOutcome(TMJPEGPost& post);
  // The current session is over by itself: state back to idle, then OnStopped.
  bool endSession();
  void report(const TTextHandler& handler, const std::string& text);

  bool m_connected = false;
  bool m_connecting = false;
  bool m_badContentType = false;
  std::string m_path;
  std::vector<std::string> m_headerLines;

  TMJPEGMailbox m_mailbox;
  std::unique_ptr<QSocketNotifier> m_wake;
  // Every receiving thread not yet ended, by session; the current one is m_session while
  // Connecting or Connected. Threads of earlier sessions are joined once they report their end.
  std::map<std::uint64_t, std::unique_ptr<TMJPEGDecoderThread>> m_threads;
  std::uint64_t m_session = 0;
  std::uint64_t m_lastSession = 0;
  // Cleared on destruction, so a delivery in progress stops touching the decoder.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
  int m_delivering = 0;  // depth of deliverPosts calls in progress
};
