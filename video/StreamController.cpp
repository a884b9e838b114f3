#include "StreamController.h"

#include "core/AppSettings.h"
#include "core/DebugLog.h"
#include "core/Text.h"
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
                                     IDialogs& dialogs)
    : m_window(window),
      m_display(display),
      m_dialogs(dialogs),
      m_decoder(std::make_unique<TMJPEGDecoder>()) {}

TStreamController::~TStreamController() = default;

void TStreamController::setStreamRequests(IStreamRequests* requests) {
  m_requests = requests != nullptr ? requests : &m_loggedRequests;
}

TStackStream TStreamController::target() const {
  TStackStream t;
  t.Address = m_decoder->Address();
  t.DisplayName = m_decoder->DisplayName();
  t.Login = m_decoder->Login();
  t.Password = m_decoder->Password();
  t.Port = m_decoder->Port();
  return t;
}

void TStreamController::setTarget(const TStackStream& target) {
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
  if (AppSettings.interfaceSelected.empty()) {
    debugLog("Default interface is not configured, we won't start this stream.");
    return;
  }
  if (m_decoder->BadContentType()) {
    const TStackStream t = target();
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
  m_window.setControlVisible(EVideoControl::Label1, true);

  if (AppSettings.autoFocus == 1) {
    m_window.restoreApplication();
    focusWindow(m_window.windowCaption());
  }
  if (AppSettings.autoFullScreen == 1 && !m_display.FullScreenActive()) m_display.Image1DblClick();

  m_streamWanted = true;
  m_window.setControlVisible(EVideoControl::Image1, true);
  m_window.setControlEnabled(EVideoControl::SpeedButton3, true);
  m_window.setControlEnabled(EVideoControl::SpeedButton4, true);
  m_window.setControlEnabled(EVideoControl::SpeedButton5, true);

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
  m_window.setControlVisible(EVideoControl::Label1, false);
  m_streamWanted = false;
  m_window.setControlEnabled(EVideoControl::SpeedButton3, false);
  m_window.setControlEnabled(EVideoControl::SpeedButton4, false);
  m_display.putIdlePicture();
  if (m_display.FullScreenActive()) {
    m_display.Image1DblClick();
    m_display.putIdlePicture();
  }
}

void TStreamController::watchdogStep() {
  if (m_decoder->Connected() || !m_streamWanted) return;
  debugLog("******* Stream isn't running, yet it should, retrying...");
  const TStackStream saved = target();
  stopStream();
  m_decoder->Disconnect();
  // A fresh decoder: the old one may carry BadContentType, which must not outlive it.
  replaceDecoder();
  setTarget(saved);
  launchStream();
}

void TStreamController::SpeedButton1Click() {
  stopStream();
  const std::vector<std::string> addresses = splitFields(AppSettings.platines, ';');
  if (AppSettings.platines.empty() || AppSettings.priority < 0 ||
      static_cast<std::size_t>(AppSettings.priority) >= addresses.size()) {
    m_dialogs.message(UiTexts.msgNoPriorityAddress, EDialogIcon::None, EDialogButtons::Ok);
    return;
  }
  m_requests->favouriteRequest(addresses[static_cast<std::size_t>(AppSettings.priority)]);
}

void TStreamController::SpeedButton3Click() { stopStream(); }

void TStreamController::ManualStream1Click() {
  const std::string address =
      m_dialogs.inputBox("Adresse", "Adresse de la platine:", "192.168.1.0");
  m_requests->manualRequest(address);
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
