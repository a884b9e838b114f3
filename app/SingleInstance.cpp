#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLocalSocket>
#include <QTimer>

#include "core/DebugLog.h"

namespace {

constexpr int ConnectTimeoutMs = 1000;
constexpr int RetryMs = 100;

}  // namespace

TSingleInstance::TSingleInstance(std::string socketPath) : m_socketPath(std::move(socketPath)) {
  connect(&m_server, &QLocalServer::newConnection, this, &TSingleInstance::onNewConnection);
}

TSingleInstance::~TSingleInstance() { m_server.close(); }

std::optional<std::string> TSingleInstance::socketPath(const IEnv& env, const TPaths& paths) {
  const std::string name = "ostrel-stream.socket";
  if (auto runtime = env.get("XDG_RUNTIME_DIR"); runtime && !runtime->empty())
    return joinPath(*runtime, name);
  if (auto temp = paths.tempFolder()) return joinPath(*temp, name);
  return std::nullopt;
}

bool TSingleInstance::runningCopyAnswers(bool askToRaise) {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(m_socketPath));
  if (!socket.waitForConnected(ConnectTimeoutMs)) return false;
  if (askToRaise) {
    socket.write(RaiseRequest);
    socket.waitForBytesWritten(ConnectTimeoutMs);
  }
  socket.disconnectFromServer();
  return true;
}

TSingleInstance::ERole TSingleInstance::claim(std::chrono::milliseconds waitForPrevious) {
  const auto deadline = std::chrono::steady_clock::now() + waitForPrevious;
  while (runningCopyAnswers(false)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      runningCopyAnswers(true);
      return ERole::Secondary;
    }
    // Our events go on while the ending copy goes (not a nested QEventLoop: one asked to end
    // before the main loop ran returns at once).
    bool paused = true;
    QTimer::singleShot(RetryMs, this, [&paused] { paused = false; });
    while (paused) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  // Nobody answers: a socket file left by a copy that crashed is only in the way.
  QLocalServer::removeServer(QString::fromStdString(m_socketPath));
  m_server.setSocketOptions(QLocalServer::UserAccessOption);
  if (!m_server.listen(QString::fromStdString(m_socketPath)))
    debugLog("**** Single-copy socket not opened: " + m_server.errorString().toStdString());
  return ERole::Primary;
}

void TSingleInstance::onNewConnection() {
  while (QLocalSocket* socket = m_server.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      // A few bytes at most; anything else is not ours to read.
      if (socket->read(64).startsWith(QByteArray(RaiseRequest).trimmed())) emit raiseRequested();
    });
  }
}
