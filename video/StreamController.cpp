#include "video/StreamController.h"

#include "base/Text.h"
#include "core/AppSettings.h"
#include "core/DebugLog.h"
#include "core/UiTexts.h"
#include "video/MJPEGDecoder.h"

namespace {

const char* const IdleCaption = "0.0.0.0";

}  // namespace

void TLoggedStreamRequests::favouriteRequest(const std::string& address) {
  debugLog("Favourite stream request for " + address + " not sent: no outgoing client");
}

void TLoggedStreamRequests::manualRequest(const std::string& address) {
  debugLog("Manual stream request for " + address + " not sent: no outgoing client");
}

TStreamController::TDecoderFactory TStreamController::realDecoders() {
  return [] { return std::make_unique<TMJPEGDecoder>(); };
}

TStreamController::TStreamController(IVideoWindow& window, TVideoDisplay& display,
                                     IDialogs& dialogs, const TAppSettings& settings,
                                     const IClock& clock, TDecoderFactory makeDecoder)
    : m_window(window),
      m_display(display),
      m_dialogs(dialogs),
      m_settings(settings),
      m_clock(clock),
      m_makeDecoder(std::move(makeDecoder)),
      m_decoder(m_makeDecoder()),
      m_overlay(clock) {}

TStreamController::~TStreamController() = default;

void TStreamController::setStreamRequests(IStreamRequests* requests) {
  m_requests = requests != nullptr ? requests : &m_loggedRequests;
}

TStreamTarget TStreamController::target() const { return m_decoder->target(); }

void TStreamController::setTarget(const TStreamTarget& target) { m_decoder->setTarget(target); }

void TStreamController::clearSnapDone() { m_display.setSnapDone(false); }

void TStreamController::replaceDecoder() {
  const TStreamTarget kept = target();
  // The old one goes first: its threads are stopped and joined, and nothing it had queued is
  // delivered afterwards.
  m_decoder.reset();
  m_decoder = m_makeDecoder();
  m_decoder->setTarget(kept);
  m_refused.reset();
  m_lastEnded.reset();
}

std::optional<int> TStreamController::portNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    // Leading zeros cost nothing; past the largest port the rest cannot bring it back.
    if (value > 65535) return std::nullopt;
  }
  if (value < 1) return std::nullopt;
  return static_cast<int>(value);
}

std::string TStreamController::refusedReplyText(const TStreamTarget& refused) {
  // Fixed French text, shown in every language. The password never shows on screen.
  return "Erreur lors de la tentative de connexion au flux vid\xE9o sur :\r\nAddr: " +
         refused.Address + "\r\nport: " + refused.Port + "\r\nlogin: " + refused.Login +
         "\r\npwd: " + std::string(refused.Password.size(), '\x95');
}

void TStreamController::launchStream() {
  if (m_settings.interfaceSelected.empty()) {
    debugLog("Default interface is not configured, we won't start this stream.");
    return;
  }
  if (m_decoder->BadContentType()) {
    // Tell about the panel that refused, after the handler that brought this start (often a
    // socket's) has returned; the start itself goes on with a fresh decoder.
    const std::string text = refusedReplyText(m_refused.value_or(m_attempted));
    QMetaObject::invokeMethod(
        &m_queued,
        [this, text] { m_dialogs.message(text, EDialogIcon::Error, EDialogButtons::Ok); },
        Qt::QueuedConnection);
    replaceDecoder();
  }
  debugLog("launchStream called");
  debugLog("addr: " + target().Address);
  if (!m_restarting) m_overlay.streamStarted(target().Address);

  m_window.setCaption(target().DisplayName);
  m_window.setControlVisible(EVideoControl::PanelCaption, true);

  if (m_settings.autoFocus == 1) {
    m_window.restoreApplication();
    focusWindow(m_window.windowCaption());
  }
  if (m_settings.autoFullScreen == 1 && !m_display.FullScreenActive()) m_display.toggleFullScreen();

  m_streamWanted = true;
  m_window.setControlVisible(EVideoControl::VideoView, true);
  m_window.setControlEnabled(EVideoControl::StopButton, true);
  m_window.setControlEnabled(EVideoControl::SnapshotButton, true);
  m_window.setControlEnabled(EVideoControl::VoiceMessageButton, true);

  if (m_decoder->Connected() || m_decoder->Connecting()) {
    // The new target is connected by the next watchdog step.
    debugLog("Decoder already connected ****");
    m_decoder->Disconnect();
    return;
  }
  connectDecoder();
}

void TStreamController::connectDecoder() {
  IMJPEGDecoder& decoder = *m_decoder;
  decoder.OnFrame = [this](IMJPEGDecoder& d, std::unique_ptr<TJPEGImage> image) {
    if (image && !image->empty()) {
      m_overlay.frameReceived();
      if (m_onFrame) m_onFrame(d.target().Address, image->bytes());
    }
    m_display.HandleFrame(d, std::move(image));
  };
  decoder.OnError = [this](IMJPEGDecoder& d, const std::string& text) { HandleError(d, text); };
  decoder.OnMessage = [this](IMJPEGDecoder& d, const std::string& text) { HandleMessage(d, text); };
  decoder.OnStopped = [this](IMJPEGDecoder& d) { onDecoderStopped(d); };
  const TStreamTarget t = target();
  const std::optional<int> port = portNumber(t.Port);
  if (!port) {
    // The stream stays wanted: the watchdog tries again, and a corrected target can follow.
    debugLog("**** Invalid port: " + t.Port);
    return;
  }
  m_attempted = t;
  m_lastEnded.reset();
  m_refusedStatusLine.clear();
  decoder.Connect(t.Address, *port, StreamPath, t.Login, t.Password);
  m_display.setSnapDone(false);
}

void TStreamController::onDecoderStopped(IMJPEGDecoder& decoder) {
  m_lastEnded = m_clock.steadyNow();
  if (decoder.BadContentType()) {
    m_refused = m_attempted;
    m_overlay.refused(m_refusedStatusLine);
  }
}

void TStreamController::stopStream() {
  if (m_decoder->Connected()) {
    m_decoder->Disconnect();
    debugLog("MJPEGDecoder disconnected");
  }
  // Whatever the last one went through (a refused reply, an attempt still under way), the next
  // start begins afresh.
  replaceDecoder();
  m_window.setCaption(IdleCaption);
  m_window.setControlVisible(EVideoControl::PanelCaption, false);
  m_streamWanted = false;
  if (!m_restarting) m_overlay.streamStopped();
  m_window.setControlEnabled(EVideoControl::StopButton, false);
  m_window.setControlEnabled(EVideoControl::SnapshotButton, false);
  m_display.putIdlePicture();
  if (m_display.FullScreenActive()) {
    m_display.toggleFullScreen();
    m_display.putIdlePicture();
  }
}

void TStreamController::watchdogStep() {
  if (m_decoder->Connected() || m_decoder->Connecting() || !m_streamWanted) return;
  // A panel that fails slowly gets the same pause as one that refuses at once.
  if (m_lastEnded && m_clock.steadyNow() - *m_lastEnded < RetryGap) return;
  debugLog("******* Stream isn't running, yet it should, retrying...");
  const TStreamTarget saved = target();
  // stopStream leaves a fresh decoder: the old one may carry BadContentType, which must not
  // outlive it.
  m_restarting = true;
  stopStream();
  setTarget(saved);
  launchStream();
  m_restarting = false;
}

void TStreamController::onFavouriteClicked() {
  stopStream();
  const std::vector<std::string> addresses = splitFields(m_settings.platines, ';');
  if (m_settings.platines.empty() || m_settings.priority < 0 ||
      static_cast<std::size_t>(m_settings.priority) >= addresses.size()) {
    m_dialogs.message(UiTexts.msgNoPriorityAddress, EDialogIcon::None, EDialogButtons::Ok);
    return;
  }
  m_requests->favouriteRequest(addresses[static_cast<std::size_t>(m_settings.priority)]);
}

void TStreamController::onStopClicked() { stopStream(); }

void TStreamController::onManualStreamTriggered() {
  const std::optional<std::string> address =
      m_dialogs.inputBox("Adresse", "Adresse de la platine:", "192.168.1.0");
  // A cancelled box asks nothing of any panel.
  if (address) m_requests->manualRequest(*address);
}

void TStreamController::focusWindow(const std::string& caption) {
  switch (m_window.topLevelWindow(caption)) {
    case IVideoWindow::ETopLevel::Missing:
      break;
    case IVideoWindow::ETopLevel::Minimised:
      m_window.restoreTopLevel(caption);
      break;
    case IVideoWindow::ETopLevel::Shown:
      m_window.bringToFront(caption);
      break;
  }
}

void TStreamController::HandleError(IMJPEGDecoder&, const std::string& text) {
  // A refused reply is reported with its whole header; its first line says why.
  if (text.rfind("HTTP/", 0) == 0) m_refusedStatusLine = text.substr(0, text.find("\r\n"));
  debugLog("**** " + text);
}

void TStreamController::HandleMessage(IMJPEGDecoder&, const std::string& text) { debugLog(text); }
