#include "video/StreamController.h"

#include "base/Text.h"
#include "core/AppSettings.h"
#include "core/DebugLog.h"
#include "core/UiTexts.h"

namespace {

const char* const IdleCaption = "0.0.0.0";

}  // namespace

void TLoggedStreamRequests::favouriteRequest(const std::string& address) {
  debugLog("Favourite stream request for " + address + " not sent: no outgoing client");
}

void TLoggedStreamRequests::manualRequest(const std::string& address) {
  debugLog("Manual stream request for " + address + " not sent: no outgoing client");
}

TStreamController::TStreamController(IVideoWindow& window, TVideoDisplay& display,
                                     IDialogs& dialogs, const TAppSettings& settings)
    : m_window(window),
      m_display(display),
      m_dialogs(dialogs),
      m_settings(settings),
      m_decoder(std::make_unique<TMJPEGDecoder>()) {}

TStreamController::~TStreamController() = default;

void TStreamController::setStreamRequests(IStreamRequests* requests) {
  m_requests = requests != nullptr ? requests : &m_loggedRequests;
}

TStreamTarget TStreamController::target() const {
  TStreamTarget t;
  t.Address = m_decoder->Address();
  t.DisplayName = m_decoder->DisplayName();
  t.Login = m_decoder->Login();
  t.Password = m_decoder->Password();
  t.Port = m_decoder->Port();
  return t;
}

void TStreamController::setTarget(const TStreamTarget& target) {
  m_decoder->setAddress(target.Address);
  m_decoder->setDisplayName(target.DisplayName);
  m_decoder->setLogin(target.Login);
  m_decoder->setPassword(target.Password);
  m_decoder->setPort(target.Port);
}

void TStreamController::clearSnapDone() { m_display.setSnapDone(false); }

void TStreamController::replaceDecoder() {
  // The old one goes first: its threads are stopped and joined, and nothing it had queued is
  // delivered afterwards.
  m_decoder.reset();
  m_decoder = std::make_unique<TMJPEGDecoder>();
}

std::optional<int> TStreamController::portNumber(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return std::nullopt;
  return value;
}

void TStreamController::launchStream() {
  if (m_settings.interfaceSelected.empty()) {
    debugLog("Default interface is not configured, we won't start this stream.");
    return;
  }
  if (m_decoder->BadContentType()) {
    const TStreamTarget t = target();
    // Fixed French text, shown in every language.
    m_dialogs.message(
        "Erreur lors de la rentative de connexion au flux vid\xE9o sur :\r\nAddr: " + t.Address +
            "\r\nport: " + t.Port + "\r\nlogin: " + t.Login + "\r\npwd: " + t.Password,
        EDialogIcon::Error, EDialogButtons::Ok);
    // The dialog ran the event loop: the watchdog may have replaced the decoder meanwhile, so
    // it is looked up again here.
    stopStream();
    m_decoder->Disconnect();
    replaceDecoder();
    return;
  }
  debugLog("launchStream called");
  debugLog("addr: " + m_decoder->Address());

  m_window.setCaption(m_decoder->DisplayName());
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

  if (m_decoder->Connected()) {
    // The new target is connected by the next watchdog step.
    debugLog("Decoder already connected ****");
    m_decoder->Disconnect();
    return;
  }
  connectDecoder();
}

void TStreamController::connectDecoder() {
  TMJPEGDecoder& decoder = *m_decoder;
  decoder.OnFrame = [this](TMJPEGDecoder& d, std::unique_ptr<TJPEGImage> image) {
    m_display.HandleFrame(d, std::move(image));
  };
  decoder.OnError = [this](TMJPEGDecoder& d, const std::string& text) { HandleError(d, text); };
  decoder.OnMessage = [this](TMJPEGDecoder& d, const std::string& text) { HandleMessage(d, text); };
  const std::optional<int> port = portNumber(decoder.Port());
  if (!port) {
    // The stream stays wanted: the watchdog tries again, and a corrected target can follow.
    debugLog("**** Invalid port: " + decoder.Port());
    return;
  }
  decoder.Connect(decoder.Address(), *port, StreamPath, decoder.Login(), decoder.Password());
  m_display.setSnapDone(false);
}

void TStreamController::stopStream() {
  if (m_decoder->Connected()) {
    m_decoder->Disconnect();
    debugLog("MJPEGDecoder disconnected");
  }
  m_window.setCaption(IdleCaption);
  m_window.setControlVisible(EVideoControl::PanelCaption, false);
  m_streamWanted = false;
  m_window.setControlEnabled(EVideoControl::StopButton, false);
  m_window.setControlEnabled(EVideoControl::SnapshotButton, false);
  m_display.putIdlePicture();
  if (m_display.FullScreenActive()) {
    m_display.toggleFullScreen();
    m_display.putIdlePicture();
  }
}

void TStreamController::watchdogStep() {
  if (m_decoder->Connected() || !m_streamWanted) return;
  debugLog("******* Stream isn't running, yet it should, retrying...");
  const TStreamTarget saved = target();
  stopStream();
  m_decoder->Disconnect();
  // A fresh decoder: the old one may carry BadContentType, which must not outlive it.
  replaceDecoder();
  setTarget(saved);
  launchStream();
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

void TStreamController::HandleError(TMJPEGDecoder&, const std::string& text) {
  debugLog("**** " + text);
}

void TStreamController::HandleMessage(TMJPEGDecoder&, const std::string& text) { debugLog(text); }
