#include "audio/VoiceMessage.h"

#include "api/ApiWorker.h"
#include "audio/VoiceMessageBody.h"
#include "base/LogSink.h"
#include "platform/Paths.h"
#include "platform/WavFile.h"

namespace {

bool french(const TAppSettings& settings) { return settings.language == "FR"; }

std::string cannotRecordText(const std::string& reason, bool fr) {
  return fr ? "Impossible d'enregistrer le message vocal : " + reason + "."
            : "The voice message cannot be recorded: " + reason + ".";
}

std::string cannotSaveText(const std::string& reason, bool fr) {
  return fr ? "Le message vocal n'a pas pu \xEAtre enregistr\xE9 : " + reason + "."
            : "The voice message could not be saved: " + reason + ".";
}

std::string cannotReadText(const std::string& reason, bool fr) {
  return fr ? "Le message vocal n'a pas pu \xEAtre lu : " + reason + "."
            : "The voice message could not be read: " + reason + ".";
}

}  // namespace

TVoiceMessage::TVoiceMessage(TApiWorker& worker, IDialogs& dialogs, const IClock& clock,
                             IVoiceMessageView& view, std::unique_ptr<IRecorder> recorder,
                             TTempFolder tempFolder)
    : m_worker(worker),
      m_dialogs(dialogs),
      m_clock(clock),
      m_view(view),
      m_recorder(std::move(recorder)),
      m_tempFolder(std::move(tempFolder)) {
  m_outcomeTimer.setSingleShot(true);
  m_outcomeTimer.setInterval(kVoiceOutcomeShownMs);
  QObject::connect(&m_outcomeTimer, &QTimer::timeout, &m_later, [this] {
    if (!m_recording && m_pending == 0) show({});
  });
}

TVoiceMessage::~TVoiceMessage() {
  if (m_recorder && m_recording) m_recorder->stop();
}

void TVoiceMessage::click(const TVoiceContext& context) {
  if (m_recording)
    finishRecording(context, EShow::Now);
  else
    startRecording(context);
}

void TVoiceMessage::tick(const TVoiceContext& context) {
  if (!m_recording) return;
  const auto elapsed = m_clock.steadyNow() - m_startedAt;
  if (elapsed >= kMaxRecording) {
    debugLog("Voice message: recording stopped after " + std::to_string(kMaxRecording.count()) +
             " s");
    finishRecording(context, EShow::Later);
    return;
  }
  show({EVoiceState::Recording, recordingClockText(elapsed), {}});
}

void TVoiceMessage::startRecording(const TVoiceContext& context) {
  if (context.settings.APIMethod != "POST") {
    m_dialogs.message(kPostOnlyText, EDialogIcon::Warning);
    return;
  }
  const std::string reason = !m_recorder           ? std::string("no sound input device")
                             : m_recorder->start() ? std::string()
                                                   : m_recorder->error();
  if (!reason.empty() || !m_recorder) {
    debugLog("**** Voice message: cannot record: " + reason);
    m_dialogs.message(cannotRecordText(reason, french(context.settings)), EDialogIcon::Error);
    return;
  }
  m_recording = true;
  m_startedAt = m_clock.steadyNow();
  m_outcomeTimer.stop();
  show({EVoiceState::Recording, {}, {}});
}

void TVoiceMessage::finishRecording(const TVoiceContext& context, EShow how) {
  m_recording = false;
  m_recorder->stop();
  show({});
  if (!m_recorder->error().empty())
    debugLog("**** Voice message: the sound input failed: " + m_recorder->error());
  std::string pcm = m_recorder->pcm();
  const std::size_t limit =
      static_cast<std::size_t>(kMaxRecording.count()) * kRecordingBytesPerSecond;
  if (pcm.size() > limit) pcm.resize(limit);
  const bool fr = french(context.settings);

  const std::optional<std::string> folder = m_tempFolder ? m_tempFolder() : std::nullopt;
  if (!folder) {
    debugLog("**** Voice message not saved: no temporary folder");
    tell(cannotSaveText(fr ? "pas de dossier temporaire" : "no temporary folder", fr),
         EDialogIcon::Error, how);
    return;
  }
  m_messageFile = joinPath(*folder, kVoiceMessageFileName);
  std::string error;
  if (!writeWavFile(m_messageFile, pcm, &error)) {
    debugLog("**** Voice message not saved: " + error);
    tell(cannotSaveText(error, fr), EDialogIcon::Error, how);
    return;
  }

  debugLog("Encoding file...");
  std::string file;
  if (!readFileNoFollow(m_messageFile, &file, &error)) {
    debugLog("**** Voice message not read: " + error);
    tell(cannotReadText(error, fr), EDialogIcon::Error, how);
    return;
  }
  m_encoded = encodeBase64(file);
  debugLog("File encoded successfully");

  const std::optional<std::string> target =
      voiceMessageTarget(context.settings, context.streamWanted, context.watchedAddress);
  if (!target) {
    debugLog("Voice message: no panel at priority " + std::to_string(context.settings.priority) +
             ", nothing sent");
    tell(context.texts.msgNoPriorityAddress, EDialogIcon::Warning, how);
    return;
  }
  TApiRequest request;
  request.address = *target;
  request.command = "audio";
  request.payload = voiceMessageBody(m_encoded);
  request.settings = TApiSettings::from(context.settings, context.tlsAvailable);
  // Checked at the first press; a method changed in between must not turn the file into a URL.
  request.settings.method = "POST";
  ++m_pending;
  show({EVoiceState::Uploading, {}, {}});
  m_worker.request(std::move(request), [this](const TApiResult& r) { onResult(r); });
}

void TVoiceMessage::tell(const std::string& text, EDialogIcon icon, EShow how) {
  if (how == EShow::Now) {
    m_dialogs.message(text, icon);
    return;
  }
  QMetaObject::invokeMethod(
      &m_later, [this, text, icon] { m_dialogs.message(text, icon); }, Qt::QueuedConnection);
}

void TVoiceMessage::onResult(const TApiResult& result) {
  if (m_pending > 0) --m_pending;
  if (m_pending > 0 || m_recording) return;  // a later message, or a new recording, shows
  if (result.ok) {
    show({EVoiceState::Success, {}, result.response});
  } else {
    show({EVoiceState::Failure, {}, !result.error.empty() ? result.error : "not sent"});
  }
  m_outcomeTimer.start();
}

void TVoiceMessage::show(TVoiceMessageLook look) { m_view.showVoiceMessage(look); }
