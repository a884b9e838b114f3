#include "signalling/OutgoingClient.h"

#include <QHostAddress>

#include "base/Text.h"
#include "core/DebugLog.h"
#include "platform/SocketErrors.h"
#include "signalling/StartAnswer.h"

namespace {

const std::string kFavstream = "favstream";

std::string peerAddressOf(const QTcpSocket& socket) {
  if (socket.state() != QAbstractSocket::ConnectedState) return {};
  QHostAddress address = socket.peerAddress();
  bool ok = false;
  quint32 v4 = address.toIPv4Address(&ok);
  if (!ok) return address.toString().toStdString();
  return QHostAddress(v4).toString().toStdString();
}

// Closes the connection when the answer handling ends, however it ends.
class TCloseOnExit {
 public:
  explicit TCloseOnExit(QTcpSocket& socket) : m_socket(socket) {}
  ~TCloseOnExit() {
    if (m_socket.state() != QAbstractSocket::UnconnectedState) m_socket.close();
  }
  TCloseOnExit(const TCloseOnExit&) = delete;
  TCloseOnExit& operator=(const TCloseOnExit&) = delete;

 private:
  QTcpSocket& m_socket;
};

}  // namespace

TOutgoingClient::TOutgoingClient(IStreamControl& streams, std::function<std::string()> hostIP,
                                 QObject* parent)
    : QObject(parent), m_streams(streams), m_hostIP(std::move(hostIP)) {
  // Qt's read buffer is unbounded by default; an answer is tiny.
  m_socket.setReadBufferSize(MaxAnswer);
  connect(&m_socket, &QTcpSocket::connected, this, &TOutgoingClient::onConnected);
  connect(&m_socket, &QTcpSocket::readyRead, this, &TOutgoingClient::onReadyRead);
  connect(&m_socket, &QTcpSocket::errorOccurred, this, &TOutgoingClient::onSocketError);
  // The probe's duplicate descriptor would keep a closed connection open on our side.
  connect(&m_socket, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
    if (state == QAbstractSocket::UnconnectedState) m_resetProbe.release();
  });
}

TOutgoingClient::~TOutgoingClient() {
  m_socket.disconnect(this);
  m_socket.abort();
  m_resetProbe.release();
}

bool TOutgoingClient::connected() const {
  return m_socket.state() == QAbstractSocket::ConnectedState;
}

void TOutgoingClient::favouriteRequest(const std::string& target) {
  // A connection that was never answered would otherwise hang on and block the next request.
  if (connected()) m_socket.close();
  m_pendingCommand = kFavstream;
  open(target);
}

void TOutgoingClient::manualRequest(const std::string& address) {
  if (address.empty()) return;
  m_pendingCommand = kFavstream;
  if (connected()) {
    // The panel of the earlier, unanswered request is asked again; the typed address waits
    // for a free client.
    CSocketSend();
    return;
  }
  open(address);
}

void TOutgoingClient::open(const std::string& host) {
  // A lookup or connection attempt still pending (a silent host can take minutes) is given up:
  // the newest request wins rather than being dropped.
  if (m_socket.state() != QAbstractSocket::UnconnectedState) m_socket.abort();
  m_remoteHost = host;
  m_socket.connectToHost(QString::fromStdString(cp1252ToUtf8(host)), m_remotePort,
                         QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
}

void TOutgoingClient::CSocketSend() {
  debugLog("Sending " + m_pendingCommand);
  const std::string request = m_pendingCommand + ";" + m_hostIP();
  m_socket.write(request.data(), static_cast<qint64>(request.size()));
  // Out now rather than at the next event loop turn; a failed send comes back as an error.
  m_socket.flush();
  debugLog(m_pendingCommand + " sent");
}

void TOutgoingClient::onConnected() {
  m_resetProbe.attach(m_socket.socketDescriptor());
  CSocketSend();
}

void TOutgoingClient::onReadyRead() {
  TCloseOnExit closer(m_socket);
  // Taken before anything can close the connection.
  const std::string remote = peerAddressOf(m_socket);
  QByteArray bytes = m_socket.read(MaxAnswer);
  const std::string text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  debugLog("Data received in client: " + text);

  const TStartAnswer answer = readStartAnswer(text, remote);
  if (answer.saysStart) debugLog("start received in client");
  if (!answer.target) {
    // The panel answered, but not with a stream: the user asked and must see it.
    if (m_onFailure) m_onFailure(false);
    return;
  }
  m_streams.clearSnapDone();
  if (m_streams.StreamWanted() && m_streams.target().Address == remote) return;

  const TStreamTarget& target = *answer.target;
  m_streams.setTarget(target);
  debugLog("Streaming Address: " + remote);
  m_streams.launchStream();
}

void TOutgoingClient::onSocketError(QAbstractSocket::SocketError error) {
  // Qt reports a panel's normal close, answered or not, as an error; only a reset is one.
  if (error == QAbstractSocket::RemoteHostClosedError && !m_resetProbe.wasReset()) return;
  debugLog("Error " + std::to_string(winsockCode(error)));
  if (m_onFailure) m_onFailure(true);
}
