#include "signalling/Listener.h"

#include <algorithm>
#include <vector>

#include "base/Text.h"
#include "base/TimingMark.h"
#include "base/Vigenere.h"
#include "core/AppSettings.h"
#include "core/DebugLog.h"
#include "platform/SocketErrors.h"

namespace {

std::string remoteAddressOf(const QTcpSocket* socket) {
  if (socket == nullptr || socket->state() != QAbstractSocket::ConnectedState) return {};
  QHostAddress address = socket->peerAddress();
  bool ok = false;
  quint32 v4 = address.toIPv4Address(&ok);
  if (!ok) return address.toString().toStdString();
  return QHostAddress(v4).toString().toStdString();
}

// Panels write "+" where a SIP identity has "@", which the cipher cannot carry.
std::string plusToAt(std::string text) {
  std::replace(text.begin(), text.end(), '+', '@');
  return text;
}

}  // namespace

TNotificationListener::TNotificationListener(IListenerHost& host, const TAppSettings& settings,
                                             QObject* parent)
    : QObject(parent), m_host(host), m_settings(settings) {
  connect(&m_server, &QTcpServer::newConnection, this, &TNotificationListener::onNewConnection);
  connect(&m_idleSweep, &QTimer::timeout, this, &TNotificationListener::closeIdle);
  m_idleSweep.setInterval(1000);
}

TNotificationListener::~TNotificationListener() { deactivate(); }

bool TNotificationListener::activate(std::uint16_t port) {
  if (!m_server.listen(QHostAddress::AnyIPv4, port)) return false;
  m_idleSweep.start();
  return true;
}

void TNotificationListener::deactivate() {
  m_idleSweep.stop();
  m_server.close();
  while (!m_connections.empty()) dropConnection(m_connections.front().socket);
}

bool TNotificationListener::active() const { return m_server.isListening(); }

std::uint16_t TNotificationListener::port() const { return m_server.serverPort(); }

int TNotificationListener::connectionCount() const {
  return static_cast<int>(m_connections.size());
}

void TNotificationListener::setIdleTimeout(std::chrono::milliseconds timeout) {
  m_idleTimeout = timeout;
  m_idleSweep.setInterval(static_cast<int>(std::clamp<long long>(timeout.count() / 4, 10, 1000)));
}

void TNotificationListener::onNewConnection() {
  while (QTcpSocket* socket = m_server.nextPendingConnection()) {
    makeRoom();
    // Qt's read buffer is unbounded by default; a message is at most this long.
    socket->setReadBufferSize(MaxMessage);
    auto probe = std::make_unique<TResetProbe>();
    probe->attach(socket->socketDescriptor());
    m_connections.push_back({socket, std::chrono::steady_clock::now(), false, std::move(probe)});
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError error) { onSocketError(socket, error); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { dropConnection(socket); });
    debugLog("Client connected");
  }
}

void TNotificationListener::makeRoom() {
  if (static_cast<int>(m_connections.size()) < MaxConnections) return;
  auto oldest = std::min_element(
      m_connections.begin(), m_connections.end(),
      [](const TConnection& a, const TConnection& b) { return a.lastActive < b.lastActive; });
  dropConnection(oldest->socket);
}

void TNotificationListener::dropConnection(QTcpSocket* socket) {
  auto it = std::find_if(m_connections.begin(), m_connections.end(),
                         [socket](const TConnection& c) { return c.socket == socket; });
  if (it == m_connections.end()) return;
  std::unique_ptr<TResetProbe> probe = std::move(it->resetProbe);
  m_connections.erase(it);
  socket->disconnect(this);
  socket->abort();
  // After Qt's close, so that the connection really ends here.
  if (probe) probe->release();
  socket->deleteLater();
}

void TNotificationListener::closeIdle() {
  auto now = std::chrono::steady_clock::now();
  std::vector<QTcpSocket*> idle;
  for (const TConnection& c : m_connections)
    if (now - c.lastActive >= m_idleTimeout) idle.push_back(c.socket);
  for (QTcpSocket* socket : idle) dropConnection(socket);
}

void TNotificationListener::onReadyRead(QTcpSocket* socket) {
  // Only the connection that has data is read: serving every open connection on each event made
  // one message cost a log line per other connection.
  auto it = std::find_if(m_connections.begin(), m_connections.end(),
                         [socket](const TConnection& c) { return c.socket == socket; });
  if (it == m_connections.end()) return;
  const auto now = std::chrono::steady_clock::now();
  const qint64 waiting = socket->bytesAvailable();
  if (it->discarding) {
    const bool quiet = now - it->lastActive >= OversizeQuiet;
    if (waiting > 0) it->lastActive = now;
    if (!quiet) {
      socket->skip(waiting);
      return;
    }
    it->discarding = false;
  }
  std::string text;
  timingMark("notification-read");
  if (waiting > 0) {
    QByteArray bytes = socket->read(std::min(waiting, MaxMessage));
    text.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    it->lastActive = now;
    // Qt's buffer holds at most MaxMessage: a full one means the send went on beyond it, and
    // the rest is not a message of its own.
    if (waiting >= MaxMessage) {
      it->discarding = true;
      socket->skip(socket->bytesAvailable());
    }
  }
  if (text.empty()) {
    debugLog("Received empty string");
    return;
  }
  debugLog("Received message: " + text);
  handleMessage(text, remoteAddressOf(socket), socket);
}

void TNotificationListener::handleMessage(const std::string& text, const std::string& remoteAddress,
                                          QTcpSocket* connection) {
  std::vector<std::string> fields = splitFields(decipherPass(text), ';');
  const std::string& command = fields[0];
  if (command == "start") {
    debugLog("start received in server");
    if (fields.size() < 4) {
      debugLog("No information about SIPIDs");
      return;
    }
    if (fields.size() >= 5) fields[4] = plusToAt(fields[4]);
    if (fields.size() >= 6) fields[5] = plusToAt(fields[5]);
    m_host.admitCall(fields, remoteAddress);
  } else if (command == "stop") {
    debugLog("stop received");
    if (m_settings.startMinimized == 1) m_host.minimizeMainWindow();
    const bool watched = remoteAddress == m_host.decoderAddress();
    if (watched)
      m_host.stopStream();
    else
      debugLog("Ignoring, this is not the streaming we're watching");
    m_host.callEnded(remoteAddress, watched);
  } else if (command == "ntmy") {
    debugLog("ntmy received");
    if (fields.size() < 2 || fields[1].empty()) {
      debugLog("Error: Empty IP field, ignoring this message");
      return;
    }
    debugLog("Remote current IP " + fields[1]);
    if (connection != nullptr) {
      std::string reply = "probing;" + m_host.hostIP();
      connection->write(reply.data(), static_cast<qint64>(reply.size()));
    }
    m_host.addSniffedIP(fields[1]);
    debugLog("sniffed IP : " + fields[1]);
  }
}

void TNotificationListener::onSocketError(QTcpSocket* socket, QAbstractSocket::SocketError error) {
  if (error == QAbstractSocket::RemoteHostClosedError) {
    // A panel closing its end is the normal end of a notification; a reset is an error.
    auto it = std::find_if(m_connections.begin(), m_connections.end(),
                           [socket](const TConnection& c) { return c.socket == socket; });
    if (it == m_connections.end() || !it->resetProbe || !it->resetProbe->wasReset()) return;
  }
  debugLog("Socket server error " + std::to_string(winsockCode(error)));
}
