#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/StreamTarget.h"
#include "video/JpegImage.h"

// What the stream controller needs of a decoder, so that its tests can script one.
//
// Thread contract: UI thread only; every event is called there, never from inside Connect or
// Disconnect except OnDisconnect. Events of a delivered hand-over may destroy the decoder.
class IMJPEGDecoder {
 public:
  using TFrameHandler = std::function<void(IMJPEGDecoder&, std::unique_ptr<TJPEGImage>)>;
  using TTextHandler = std::function<void(IMJPEGDecoder&, const std::string&)>;
  using TNoticeHandler = std::function<void(IMJPEGDecoder&)>;

  virtual ~IMJPEGDecoder() = default;

  // Events; an unset handler is skipped (an unset OnFrame drops the frame). The handler of a
  // frame owns the image.
  TFrameHandler OnFrame;
  TTextHandler OnError;
  TTextHandler OnMessage;
  TNoticeHandler OnDisconnect;
  // A connection attempt or a stream ended by itself (not by Disconnect): after the texts that
  // report it, once Connected and Connecting are both false.
  TNoticeHandler OnStopped;

  // Starts opening the stream and returns at once: Connecting until the panel's reply header
  // has been handled, then Connected when the reply was accepted. Nothing while Connecting or
  // Connected.
  virtual void Connect(const std::string& address, int port, const std::string& path,
                       const std::string& login, const std::string& password) = 0;
  // Stops a running stream or abandons an attempt (OnDisconnect, then neither Connected nor
  // Connecting); nothing when neither.
  virtual void Disconnect() = 0;
  virtual bool Connected() const = 0;
  virtual bool Connecting() const = 0;
  // Set for good once a reply has been refused for its content type.
  virtual bool BadContentType() const = 0;

  // The stream target, kept for the owner; the decoder only stores it.
  const TStreamTarget& target() const { return m_target; }
  void setTarget(const TStreamTarget& target) { m_target = target; }

 private:
  TStreamTarget m_target;
};
