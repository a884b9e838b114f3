#include "video/MJPEGDecoder.h"

#include <openssl/evp.h>

#include <QObject>
#include <QSocketNotifier>

#include "base/Text.h"

namespace {

const char* const CouldNotConnect = "Could not connect to server";

}  // namespace

TMJPEGDecoder::TMJPEGDecoder()
    : m_wake(std::make_unique<QSocketNotifier>(m_mailbox.wakeFd(), QSocketNotifier::Read)) {
  QObject::connect(m_wake.get(), &QSocketNotifier::activated, [this] { deliverPosts(); });
}

TMJPEGDecoder::~TMJPEGDecoder() {
  *m_alive = false;
  // Stop every thread first so that they wind down together, then wait for each.
  for (auto& [session, thread] : m_threads) thread->stop();
  m_threads.clear();
  m_wake->setEnabled(false);
  QObject::disconnect(m_wake.get(), nullptr, nullptr, nullptr);
  // Destroyed from inside a delivery: the notifier is still emitting, so it goes later.
  if (m_delivering > 0) m_wake.release()->deleteLater();
}

std::string TMJPEGDecoder::basicCredential(const std::string& login, const std::string& password) {
  if (login.empty() || password.empty()) return {};
  const std::string plain = login + ":" + password;
  std::string encoded(4 * ((plain.size() + 2) / 3) + 1, '\0');
  const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                     reinterpret_cast<const unsigned char*>(plain.data()),
                                     static_cast<int>(plain.size()));
  encoded.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return encoded;
}

std::string TMJPEGDecoder::requestText(const std::string& path, const std::string& credential) {
  return "GET " + path + " HTTP/1.1\r\nAuthorization: Basic " + credential + "\r\n\r\n";
}

void TMJPEGDecoder::report(const TTextHandler& handler, const std::string& text) {
  if (handler) handler(*this, text);
}

void TMJPEGDecoder::Connect(const std::string& address, int port, const std::string& path,
                            const std::string& login, const std::string& password) {
  if (m_connected || m_connecting) return;
  m_path = path;
  m_headerLines.clear();
  try {
    TMJPEGRequest request{address, port, requestText(path, basicCredential(login, password))};
    const std::uint64_t session = ++m_lastSession;
    auto thread = std::make_unique<TMJPEGDecoderThread>(session, std::move(request), m_mailbox);
    thread->start();
    m_threads.emplace(session, std::move(thread));
    m_session = session;
    m_connecting = true;
  } catch (...) {
    // No thread to be had: the attempt fails as an unreachable panel would, and the watchdog
    // tries again. Connect never raises to its caller.
    try {
      report(OnError, CouldNotConnect);
    } catch (...) {
    }
  }
}

void TMJPEGDecoder::Disconnect() {
  if (!m_connected && !m_connecting) return;
  // The thread is usually blocked in a read: the shutdown makes that read return.
  if (auto found = m_threads.find(m_session); found != m_threads.end()) found->second->stop();
  auto alive = m_alive;
  if (OnDisconnect) OnDisconnect(*this);
  if (!*alive) return;
  m_connected = false;
  m_connecting = false;
  m_session = 0;
}

void TMJPEGDecoder::deliverPosts() {
  m_mailbox.clearWake();
  ++m_delivering;
  while (auto post = m_mailbox.takeOne()) {
    // A handler destroyed the decoder: leave without touching it.
    if (!handlePost(*post)) return;
  }
  --m_delivering;
}

bool TMJPEGDecoder::endSession() {
  if (auto found = m_threads.find(m_session); found != m_threads.end()) found->second->stop();
  m_connected = false;
  m_connecting = false;
  m_session = 0;
  auto alive = m_alive;
  if (OnStopped) OnStopped(*this);
  return *alive;
}

bool TMJPEGDecoder::handleOutcome(TMJPEGPost& post) {
  auto alive = m_alive;
  m_headerLines = std::move(post.header);
  switch (post.outcome) {
    case TMJPEGOutcome::NotReached:
      report(OnError, CouldNotConnect);
      break;
    case TMJPEGOutcome::Failed:
      break;
    case TMJPEGOutcome::Refused: {
      report(OnError,
             "Invalid content type received from server: " + contentTypeValue(m_headerLines));
      if (!*alive) return false;
      std::string header;
      for (const std::string& line : m_headerLines) header += line + "\r\n";
      report(OnError, header);
      if (!*alive) return false;
      m_badContentType = true;
      break;
    }
    case TMJPEGOutcome::Accepted:
      report(OnMessage, "Request sent, spawning decoder thread");
      if (!*alive) return false;
      // The thread is already reading the body; its frames come after this, in order.
      if (m_session == post.session && m_connecting) {
        m_connecting = false;
        m_connected = true;
      }
      return true;
  }
  if (!*alive) return false;
  return m_session == post.session ? endSession() : true;
}

bool TMJPEGDecoder::handlePost(TMJPEGPost& post) {
  auto alive = m_alive;
  const bool current = post.session == m_session && m_session != 0;
  switch (post.kind) {
    case TMJPEGPost::TKind::Note:
      // An abandoned attempt says nothing more.
      if (current) report(OnMessage, post.text);
      break;
    case TMJPEGPost::TKind::Outcome:
      if (current && m_connecting) return handleOutcome(post);
      break;
    case TMJPEGPost::TKind::Frame: {
      if (!OnFrame || !post.frame) break;
      auto image = std::make_unique<TJPEGImage>();
      // A frame without a readable header is dropped; the stream goes on.
      if (image->load(std::move(post.frame))) OnFrame(*this, std::move(image));
      break;
    }
    case TMJPEGPost::TKind::Status: {
      const int code = static_cast<int>(post.status);
      std::string text = "Decoder thread status code: " + std::to_string(code);
      if (post.status == TMJPEGStatus::ConnectionDown) text += " = Thread closed.";
      report(OnError, text);
      if (!*alive) return false;
      // A status from a stream already disconnected (or replaced by a newer Connect) is only
      // reported: it must not close the current one.
      if (current && m_connected) return endSession();
      break;
    }
    case TMJPEGPost::TKind::ThreadEnded: {
      if (auto found = m_threads.find(post.session); found != m_threads.end()) {
        found->second->join();
        m_threads.erase(found);
      }
      // Only reached while still current when the thread could not post its outcome or status.
      if (current && (m_connected || m_connecting)) return endSession();
      break;
    }
  }
  return *alive;
}
