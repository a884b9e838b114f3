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
  m_connection.reset();
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

bool TMJPEGDecoder::readReplyHeader(TMJPEGLineReader& reader, std::vector<std::string>& lines) {
  std::size_t total = 0;
  std::string line;
  for (;;) {
    if (!reader.readLine(line)) return false;
    if (line.empty()) return true;
    total += line.size() + 2;
    if (total > MaxHeaderBytes) return false;
    lines.push_back(line);
  }
}

std::string TMJPEGDecoder::contentTypeValue(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    // The name is taken as it stands: "Content-Type :" does not match.
    if (lowerAscii(line.substr(0, colon)) == "content-type") return line.substr(colon + 1);
  }
  return {};
}

bool TMJPEGDecoder::acceptsContentType(const std::string& rawValue) {
  const std::string value = trimText(rawValue);
  return value.substr(0, value.find(';')) == StreamContentType;
}

void TMJPEGDecoder::report(const TTextHandler& handler, const std::string& text) {
  if (handler) handler(*this, text);
}

void TMJPEGDecoder::Connect(const std::string& address, int port, const std::string& path,
                            const std::string& login, const std::string& password) {
  if (m_connected) return;
  m_path = path;
  m_headerLines.clear();
  // The previous session's connection is already shut; its thread keeps its own share until
  // it is joined.
  m_connection.reset();
  std::shared_ptr<TMJPEGConnection> connection;
  try {
    const std::string credential = basicCredential(login, password);
    connection = std::make_shared<TMJPEGConnection>();
    if (!connection->open(address, port, ConnectLimit)) {
      report(OnError, CouldNotConnect);
      return;
    }
    report(OnMessage, "Connected, sending request");
    // A peer that accepts and then stays silent must not hold the UI thread for long.
    connection->setDeadline(std::chrono::steady_clock::now() + HeaderLimit);
    auto reader = std::make_unique<TMJPEGLineReader>(*connection);
    if (!connection->sendAll(requestText(path, credential)) ||
        !readReplyHeader(*reader, m_headerLines)) {
      if (!connection->connected()) report(OnError, CouldNotConnect);
      return;
    }
    const std::string contentType = contentTypeValue(m_headerLines);
    if (!acceptsContentType(contentType)) {
      report(OnError, "Invalid content type received from server: " + contentType);
      std::string header;
      for (const std::string& line : m_headerLines) header += line + "\r\n";
      report(OnError, header);
      m_badContentType = true;
      connection->shutdownBoth();
      return;
    }
    report(OnMessage, "Request sent, spawning decoder thread");
    connection->setDeadline(std::nullopt);
    const std::uint64_t session = ++m_lastSession;
    auto thread =
        std::make_unique<TMJPEGDecoderThread>(session, connection, std::move(reader), m_mailbox);
    thread->start();
    m_threads.emplace(session, std::move(thread));
    m_connection = std::move(connection);
    m_session = session;
    m_connected = true;
  } catch (...) {
    try {
      if (connection && !connection->connected()) report(OnError, CouldNotConnect);
    } catch (...) {
      // Connect never raises to its caller.
    }
  }
}

void TMJPEGDecoder::Disconnect() {
  if (!m_connected) return;
  // The thread is usually blocked in a read: the shutdown makes that read return.
  if (auto found = m_threads.find(m_session); found != m_threads.end()) found->second->stop();
  if (m_connection) m_connection->shutdownBoth();
  auto alive = m_alive;
  if (OnDisconnect) OnDisconnect(*this);
  if (!*alive) return;
  m_connected = false;
  m_connection.reset();
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

bool TMJPEGDecoder::handlePost(TMJPEGPost& post) {
  auto alive = m_alive;
  switch (post.kind) {
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
      if (m_connected && post.session == m_session) {
        if (m_connection) m_connection->shutdownBoth();
        m_connection.reset();
        m_connected = false;
        m_session = 0;
      }
      break;
    }
    case TMJPEGPost::TKind::ThreadEnded: {
      if (auto found = m_threads.find(post.session); found != m_threads.end()) {
        found->second->join();
        m_threads.erase(found);
      }
      // Only reached without a status when the status itself could not be posted.
      if (m_connected && post.session == m_session) {
        m_connection.reset();
        m_connected = false;
        m_session = 0;
      }
      break;
    }
  }
  return *alive;
}
