#pragma once

#include <QObject>
#include <memory>
#include <string>

#include "platform/Recorder.h"

class QAudioSource;
class QIODevice;

// Records the default sound input through Qt Multimedia (PulseAudio or PipeWire on a desktop).
// The device is asked for the voice message's format itself; an input that refuses it is
// reported as an error rather than recorded in another format.
//
// Thread contract: UI thread only; the samples arrive through the event loop.
class TQtRecorder final : public QObject, public IRecorder {
 public:
  TQtRecorder();
  ~TQtRecorder() override;

  bool start() override;
  void stop() override;
  bool recording() const override;
  std::string error() const override { return m_error; }
  std::string pcm() const override { return m_pcm; }

 private:
  void readAvailable();
  void onStateChanged();

  std::unique_ptr<QAudioSource> m_source;
  QIODevice* m_input = nullptr;  // owned by m_source
  std::string m_pcm;
  std::string m_error;
};

// The backend start-up registers.
TRecorderBackend qtRecorderBackend();
