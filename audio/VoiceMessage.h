#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "api/ApiRequest.h"
#include "core/AppSettings.h"
#include "core/UiTexts.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Recorder.h"

class TApiWorker;

// What the voice-message button and the clock beside it show.
enum class EVoiceState { Idle, Recording, Uploading, Success, Failure };
struct TVoiceMessageLook {
  EVoiceState state = EVoiceState::Idle;
  std::string clock;   // the elapsed time while recording, else empty
  std::string detail;  // Success: the panel's answer; Failure: why
};

class IVoiceMessageView {
 public:
  virtual ~IVoiceMessageView() = default;
  virtual void showVoiceMessage(const TVoiceMessageLook& look) = 0;
};

// What a press needs to know of the rest of the program, read at the press.
struct TVoiceContext {
  const TAppSettings& settings;
  bool tlsAvailable = false;
  bool streamWanted = false;
  std::string watchedAddress;
  const TUiTexts& texts;
};

inline constexpr const char* kPostOnlyText = "API POST Method only";
inline constexpr const char* kVoiceMessageFileName = "ostrel-output.wav";
// A forgotten recording stops here by itself rather than grow into a huge upload.
inline constexpr std::chrono::seconds kMaxRecording{120};
// How long the button shows a success or a failure.
inline constexpr int kVoiceOutcomeShownMs = 3000;

// The voice-message toggle: the first press records from the sound input, the second saves
// the recording as a WAV file in the temporary folder, encodes it and queues it on the API
// worker for the watched panel, or else the priority one. The elapsed time comes from the
// steady clock, not from counting ticks, so a busy window does not slow it down.
//
// Thread contract: UI thread only. Shut the worker down before destroying this object.
// Ownership: owns the recorder (which may be null: no recording backend); borrows the rest.
class TVoiceMessage {
 public:
  using TTempFolder = std::function<std::optional<std::string>()>;

  TVoiceMessage(TApiWorker& worker, IDialogs& dialogs, const IClock& clock, IVoiceMessageView& view,
                std::unique_ptr<IRecorder> recorder, TTempFolder tempFolder);
  ~TVoiceMessage();
  TVoiceMessage(const TVoiceMessage&) = delete;
  TVoiceMessage& operator=(const TVoiceMessage&) = delete;

  // A press of the button. May show a box: it runs from the click handler.
  void click(const TVoiceContext& context);
  // The recording clock's tick: shows the elapsed time, and stops the recording at the limit
  // as a second press would. Boxes it leads to are shown once the tick has returned.
  void tick(const TVoiceContext& context);

  bool recording() const { return m_recording; }
  // The Base64 text of the last message file, kept until the next one.
  const std::string& encoded() const { return m_encoded; }
  // The path of the last message file written.
  const std::string& messageFile() const { return m_messageFile; }
  int pending() const { return m_pending; }

 private:
  enum class EShow { Now, Later };
  void startRecording(const TVoiceContext& context);
  void finishRecording(const TVoiceContext& context, EShow how);
  void tell(const std::string& text, EDialogIcon icon, EShow how);
  void onResult(const TApiResult& result);
  void show(TVoiceMessageLook look);

  TApiWorker& m_worker;
  IDialogs& m_dialogs;
  const IClock& m_clock;
  IVoiceMessageView& m_view;
  std::unique_ptr<IRecorder> m_recorder;
  TTempFolder m_tempFolder;
  bool m_recording = false;
  std::chrono::steady_clock::time_point m_startedAt{};
  std::string m_encoded;
  std::string m_messageFile;
  int m_pending = 0;
  QTimer m_outcomeTimer;
  // Boxes due after a timer handler are posted to it; they go with this object.
  QObject m_later;
};
