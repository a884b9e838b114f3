#include "audio/AudioReceiver.h"

#include <QMetaObject>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/LogSink.h"
#include "base/Text.h"
#include "core/UiTexts.h"
#include "platform/SocketErrors.h"

namespace {

constexpr const char* ReadErrorText = "Error while getting audio stream, please try again";
// The panels' installers know this text; it stays French in every language (Windows-1252).
constexpr const char* RefusedDetail =
    "Erreur de socket asynchrone, veuillez v\xE9rifier l'\xE9tat de la platine, configuration "
    "TCP IP / Port";
// Qt's own buffer in front of ours; the FIFO's bound does the rest.
constexpr qint64 SocketReadBuffer = 256 * 1024;
constexpr std::uint32_t SilenceMs = 10;

class TSocketSource final : public IAudioByteSource {
 public:
  explicit TSocketSource(QTcpSocket& socket) : m_socket(socket) {}
  std::int64_t bytesAvailable() const override { return m_socket.bytesAvailable(); }
  std::int64_t read(char* data, std::int64_t max) override { return m_socket.read(data, max); }

 private:
  QTcpSocket& m_socket;
};

}  // namespace

TAudioReceiver::TAudioReceiver(ILiveAudioPlayer& player, IAudioControls& controls,
                               IDialogs& dialogs, const TAppSettings& settings,
                               std::function<bool()> fullScreen, std::uint16_t port,
                               QObject* parent)
    : QObject(parent),
      m_player(player),
      m_controls(controls),
      m_dialogs(dialogs),
      m_settings(settings),
      m_fullScreen(std::move(fullScreen)),
      m_port(port) {
  m_socket.setReadBufferSize(SocketReadBuffer);
  m_reconnect.setSingleShot(true);
  m_reconnect.setInterval(ReconnectDelayMs);
  connect(&m_reconnect, &QTimer::timeout, this, [this] {
    if (m_socket.state() == QAbstractSocket::UnconnectedState) connectAudio();
  });
  connect(&m_socket, &QTcpSocket::connected, this, &TAudioReceiver::onAudioConnected);
  connect(&m_socket, &QTcpSocket::disconnected, this, &TAudioReceiver::onAudioDisconnected);
  connect(&m_socket, &QTcpSocket::readyRead, this, &TAudioReceiver::onAudioReadyRead);
  connect(&m_socket, &QTcpSocket::errorOccurred, this, &TAudioReceiver::onAudioSocketError);
  showControls();
}

TAudioReceiver::~TAudioReceiver() {
  m_socket.disconnect(this);
  m_socket.abort();
  m_fifo.Clear();
}

bool TAudioReceiver::connected() const {
  return m_socket.state() == QAbstractSocket::ConnectedState;
}

void TAudioReceiver::onListenClicked() {
  const std::vector<std::string> addresses = splitFields(m_settings.platines, ';');
  if (m_settings.platines.empty() || m_settings.priority < 0 ||
      static_cast<std::size_t>(m_settings.priority) >= addresses.size()) {
    m_dialogs.message(UiTexts.msgNoPriorityAddress, EDialogIcon::None, EDialogButtons::Ok);
    return;
  }
  m_host = addresses[static_cast<std::size_t>(m_settings.priority)];
  // A connection already open or on its way is kept.
  if (m_socket.state() != QAbstractSocket::UnconnectedState) return;
  resetCounts();
  m_readErrors = 0;
  connectAudio();
  m_controls.setListenEnabled(false);
  showControls();
}

void TAudioReceiver::onStopListeningClicked() {
  m_reconnect.stop();
  if (!connected()) return;
  closeAudio();
  showControls();
}

void TAudioReceiver::onListenCooldownTick() { m_controls.setListenEnabled(true); }

void TAudioReceiver::onFullScreenChanged() { showControls(); }

void TAudioReceiver::closeForExit() {
  m_reconnect.stop();
  if (m_socket.state() != QAbstractSocket::UnconnectedState) closeAudio();
  m_controls.setListenVisible(false);
  m_controls.setStopListeningVisible(false);
  m_controls.setLevelVisible(false);
}

void TAudioReceiver::onWatchdogTick() {
  if (!connected() && m_readErrors > 0) {
    if (m_readErrors >= MaxReadErrors) {
      resetCounts();
      m_readErrors = 0;
      showLater(ReadErrorText, EDialogIcon::None);
    } else {
      debugLog("Error while getting audio stream, retrying... try number " +
               std::to_string(m_readErrors));
      connectAudioSoon();
    }
  }
  if (!connected()) {
    showControls();
    return;
  }
  ++m_watchdogTicks;
  if (m_watchdogTicks > 2 && m_levelEvents < 10 && !soundArriving()) {
    debugLog("Probably no or insufficient audio incomming, restarting");
    m_controls.setListenEnabled(false);
    closeAudio();
    resetCounts();
    m_readErrors = 0;
    connectAudioSoon();
  }
}

// A sound server may take a couple of seconds to start a new stream (waking its sink), and
// meanwhile the player produces no level events. A panel that has sent a second of sound on
// this connection is delivering: restarting it would only start that wait again.
bool TAudioReceiver::soundArriving() const {
  return m_reader.pcmBytes() >= m_reader.format().bytesPerSec();
}

void TAudioReceiver::connectAudio() {
  m_reconnect.stop();
  if (m_socket.state() != QAbstractSocket::UnconnectedState) m_socket.abort();
  m_reader.reset();
  m_socket.connectToHost(QString::fromStdString(cp1252ToUtf8(m_host)), m_port, QIODevice::ReadWrite,
                         QAbstractSocket::IPv4Protocol);
}

void TAudioReceiver::connectAudioSoon() { m_reconnect.start(); }

void TAudioReceiver::closeAudio() {
  // abort rather than close: nothing of ours waits to be sent, and close would linger.
  m_socket.abort();
}

void TAudioReceiver::resetCounts() {
  m_levelEvents = 0;
  m_watchdogTicks = 0;
}

void TAudioReceiver::onAudioConnected() {
  m_connected = true;
  showControls();
}

void TAudioReceiver::onAudioDisconnected() {
  m_connected = false;
  m_fifo.Clear();
  m_player.setActive(false);
  showControls();
  debugLog("Audio disconnected");
}

void TAudioReceiver::onAudioReadyRead() {
  TSocketSource source(m_socket);
  TAudioStreamReader::EResult result = TAudioStreamReader::EResult::Failed;
  try {
    result = m_reader.readAvailable(source, m_fifo, m_player.queuedBytes());
  } catch (const std::bad_alloc&) {
    result = TAudioStreamReader::EResult::Failed;
  }
  switch (result) {
    case TAudioStreamReader::EResult::Nothing:
      return;
    case TAudioStreamReader::EResult::Failed:
      readFailed();
      return;
    case TAudioStreamReader::EResult::Pcm:
      m_readErrors = 0;
      m_player.dataArrived();
      return;
    case TAudioStreamReader::EResult::FormatReady:
      break;
  }
  m_pendingFormat = m_reader.formatBlock();
  const TAudioFormat& format = m_reader.format();
  if (!m_reader.formatUsed())
    debugLog("Audio format announced by the panel not used, playing 8000 Hz 16-bit mono");
  m_fifo.setBound(format.bytesPerSec(), format.blockAlign);
  m_player.setFormatId(format.pcmFormatId);
  m_player.setActive(true);
  m_readErrors = 0;
}

void TAudioReceiver::readFailed() {
  ++m_readErrors;
  closeAudio();
  resetCounts();
  debugLog(ReadErrorText);
}

void TAudioReceiver::onAudioSocketError(QAbstractSocket::SocketError error) {
  // A panel's normal close is reported as an error too; the disconnect handling covers it.
  if (error == QAbstractSocket::RemoteHostClosedError) return;
  const int code = winsockCode(error);
  const std::string detail = code == 10061 ? RefusedDetail : "";
  debugLog("Error " + std::to_string(code));
  showLater("Error " + std::to_string(code) + "\r\n" + detail, EDialogIcon::Error);
  closeAudio();
  showControls();
}

void TAudioReceiver::onPlayerActivate() {
  if (!connected()) return;
  m_socket.write("READY", 5);
  m_socket.flush();
}

void TAudioReceiver::onPlayerDeactivate() {
  if (m_socket.state() != QAbstractSocket::UnconnectedState) closeAudio();
}

void TAudioReceiver::onPlayerError() {
  const std::string text = m_player.errorText();
  if (m_socket.state() != QAbstractSocket::UnconnectedState) closeAudio();
  showLater(text, EDialogIcon::Error);
}

void TAudioReceiver::onPlayerLevel(int level) {
  showControls();
  m_controls.setLevelPosition(level * 10 > 100 ? 100 : (level < 0 ? 0 : level * 10));
  if (m_levelEvents < MaxLevelEvents) ++m_levelEvents;
}

void TAudioReceiver::onPlayerFormat(void*& format, bool& freeIt) {
  format = nullptr;
  freeIt = true;
  if (m_pendingFormat.empty()) return;
  format = std::malloc(m_pendingFormat.size());
  if (format == nullptr) return;
  std::memcpy(format, m_pendingFormat.data(), m_pendingFormat.size());
  m_pendingFormat.clear();
}

std::uint32_t TAudioReceiver::onPlayerDataPtr(void*& buffer, std::uint32_t& numLoops,
                                              bool& freeIt) {
  (void)numLoops;
  if (!m_connected) return 0;
  void* block = nullptr;
  std::size_t size = 0;
  if (m_fifo.TakeAll(block, size, m_player.queuedBytes())) {
    buffer = block;
    freeIt = true;
    return static_cast<std::uint32_t>(size);
  }
  buffer = nullptr;
  return SilenceMs;
}

void TAudioReceiver::showControls() {
  if (m_fullScreen()) {
    m_controls.setListenVisible(false);
    m_controls.setStopListeningVisible(false);
    m_controls.setLevelVisible(false);
    return;
  }
  const bool on = connected();
  m_controls.setListenVisible(!on);
  m_controls.setStopListeningVisible(on);
  m_controls.setLevelVisible(on);
}

void TAudioReceiver::showLater(const std::string& text, EDialogIcon icon) {
  QMetaObject::invokeMethod(
      this, [this, text, icon] { m_dialogs.message(text, icon, EDialogButtons::Ok); },
      Qt::QueuedConnection);
}
