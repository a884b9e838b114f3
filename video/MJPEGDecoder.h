#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "video/JpegImage.h"
#include "video/MJPEGDecoderThread.h"

class QSocketNotifier;

// The client of one panel's MJPEG stream over HTTP.
//
// Thread contract: created, used and destroyed on the UI thread (the thread running the Qt event
// loop); every handler is called there. Connect runs the connection and the reply header
// exchange synchronously on that thread, bounded to ConnectLimit and HeaderLimit so the window
// never freezes for long; once the reply is accepted a TMJPEGDecoderThread reads the body and
// its frames and final status come back through the event loop, in order.
//
// Ownership: the owner (the stream controller) owns the decoder; frames handed to OnFrame belong
// to the handler. Nothing is delivered after destruction: destroying the decoder stops and joins
// its threads and drops what they had posted. Handlers called inside Connect (OnMessage,
// OnError) must not destroy the decoder or call Connect; handlers of delivered messages may do
// anything, including destroying the decoder.
class TMJPEGDecoder {
 public:
  using TFrameHandler = std::function<void(TMJPEGDecoder&, std::unique_ptr<TJPEGImage>)>;
  using TTextHandler = std::function<void(TMJPEGDecoder&, const std::string&)>;
  using TDisconnectHandler = std::function<void(TMJPEGDecoder&)>;

  static constexpr std::chrono::milliseconds ConnectLimit{30};
  // The whole request and reply header exchange, after connecting.
  static constexpr std::chrono::milliseconds HeaderLimit{5000};
  // Total bytes of reply header kept; a larger header is a failed header read.
  static constexpr std::size_t MaxHeaderBytes = 65536;
  static constexpr const char* StreamContentType = "multipart/x-mixed-replace";

  TMJPEGDecoder();
  ~TMJPEGDecoder();
  TMJPEGDecoder(const TMJPEGDecoder&) = delete;
  TMJPEGDecoder& operator=(const TMJPEGDecoder&) = delete;

  // Events; an unset handler is skipped (an unset OnFrame drops the frame).
  TFrameHandler OnFrame;
  TTextHandler OnError;
  TTextHandler OnMessage;
  TDisconnectHandler OnDisconnect;

  // Opens the stream: connect, send the GET, read the reply header, and start the receiving
  // thread when the reply is multipart/x-mixed-replace. Does nothing while Connected. Success
  // shows as Connected(); failures as OnError texts. Never throws.
  void Connect(const std::string& address, int port, const std::string& path,
               const std::string& login, const std::string& password);
  // Stops a running stream (OnDisconnect, then Connected false); nothing when not Connected.
  void Disconnect();

  bool Connected() const { return m_connected; }
  // Set for good once a reply has been refused for its content type.
  bool BadContentType() const { return m_badContentType; }
  // A receiving thread of this decoder has not yet reported its end.
  bool ThreadRunning() const { return !m_threads.empty(); }
  const std::string& Path() const { return m_path; }
  // The last reply's header lines, in order, without the empty line that ends them.
  const std::vector<std::string>& headerLines() const { return m_headerLines; }

  // The stream target, kept for the owner; the decoder only stores it.
  void setAddress(const std::string& value) { m_address = value; }
  void setPort(const std::string& value) { m_port = value; }
  void setLogin(const std::string& value) { m_login = value; }
  void setPassword(const std::string& value) { m_password = value; }
  void setDisplayName(const std::string& value) { m_displayName = value; }
  const std::string& Address() const { return m_address; }
  const std::string& Port() const { return m_port; }
  const std::string& Login() const { return m_login; }
  const std::string& Password() const { return m_password; }
  const std::string& DisplayName() const { return m_displayName; }

  // Base64 of login ":" password as raw bytes, or empty when either is empty.
  static std::string basicCredential(const std::string& login, const std::string& password);
  // The request, byte for byte: the GET line, the Authorization line, an empty line.
  static std::string requestText(const std::string& path, const std::string& credential);
  // Reads header lines up to the first empty line (not kept). False when a line cannot be read
  // or the header grows past MaxHeaderBytes.
  static bool readReplyHeader(TMJPEGLineReader& reader, std::vector<std::string>& lines);
  // The raw Content-Type value: the text after the ":" of the first line whose name matches
  // "Content-Type" without regard to case; empty when there is none.
  static std::string contentTypeValue(const std::vector<std::string>& lines);
  // The raw value trimmed and cut at its first ";", compared exactly with StreamContentType.
  static bool acceptsContentType(const std::string& rawValue);

 private:
  void deliverPosts();
  // False when a handler destroyed the decoder.
  bool handlePost(TMJPEGPost& post);
  void report(const TTextHandler& handler, const std::string& text);

  bool m_connected = false;
  bool m_badContentType = false;
  std::string m_path;
  std::vector<std::string> m_headerLines;
  std::string m_address, m_port, m_login, m_password, m_displayName;

  TMJPEGMailbox m_mailbox;
  std::unique_ptr<QSocketNotifier> m_wake;
  // Every receiving thread not yet ended, by session; the current one is m_session when
  // Connected. Threads of earlier sessions are joined once they report their end.
  std::map<std::uint64_t, std::unique_ptr<TMJPEGDecoderThread>> m_threads;
  std::shared_ptr<TMJPEGConnection> m_connection;  // the current session's
  std::uint64_t m_session = 0;
  std::uint64_t m_lastSession = 0;
  // Cleared on destruction, so a delivery in progress stops touching the decoder.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
  int m_delivering = 0;  // depth of deliverPosts calls in progress
};
