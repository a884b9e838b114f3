#include "platform/QtRecorder.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>

namespace {

QAudioFormat recordingFormat() {
  QAudioFormat format;
  format.setSampleRate(kRecordingSampleRate);
  format.setChannelCount(kRecordingChannels);
  format.setSampleFormat(QAudioFormat::UInt8);
  return format;
}

std::string errorText(QAudio::Error error) {
  switch (error) {
    case QAudio::NoError:
      return {};
    case QAudio::OpenError:
      return "the sound input cannot be opened";
    case QAudio::IOError:
      return "the sound input stopped delivering sound";
    case QAudio::UnderrunError:
      return "the sound input ran dry";
    case QAudio::FatalError:
      return "the sound input failed";
  }
  return "the sound input failed";
}

}  // namespace

TQtRecorder::TQtRecorder() = default;

TQtRecorder::~TQtRecorder() {
  if (m_source) {
    m_source->disconnect(this);
    m_source->stop();
  }
}

bool TQtRecorder::start() {
  stop();
  m_pcm.clear();
  m_error.clear();
  m_source.reset();
  m_input = nullptr;
  const QAudioDevice device = QMediaDevices::defaultAudioInput();
  if (device.isNull()) {
    m_error = "no sound input device";
    return false;
  }
  const QAudioFormat format = recordingFormat();
  if (!device.isFormatSupported(format)) {
    m_error = "the sound input " + device.description().toStdString() +
              " cannot record 8000 Hz mono 8-bit";
    return false;
  }
  m_source = std::make_unique<QAudioSource>(device, format);
  connect(m_source.get(), &QAudioSource::stateChanged, this, &TQtRecorder::onStateChanged);
  m_input = m_source->start();
  if (m_input == nullptr || m_source->error() != QAudio::NoError) {
    m_error = errorText(m_source->error());
    if (m_error.empty()) m_error = "the sound input cannot be opened";
    m_source->disconnect(this);
    m_source.reset();
    m_input = nullptr;
    return false;
  }
  connect(m_input, &QIODevice::readyRead, this, &TQtRecorder::readAvailable);
  return true;
}

void TQtRecorder::stop() {
  if (!m_source) return;
  readAvailable();
  m_source->disconnect(this);
  m_source->stop();
  m_input = nullptr;
}

bool TQtRecorder::recording() const { return m_input != nullptr; }

void TQtRecorder::readAvailable() {
  if (m_input == nullptr) return;
  const QByteArray bytes = m_input->readAll();
  m_pcm.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// An input that goes away mid-recording (unplugged, server gone) keeps what it gave so far.
void TQtRecorder::onStateChanged() {
  if (!m_source || m_source->state() != QAudio::StoppedState) return;
  if (m_source->error() == QAudio::NoError) return;
  readAvailable();
  m_error = errorText(m_source->error());
  m_input = nullptr;
}

TRecorderBackend qtRecorderBackend() {
  return {"qt", 10, [] { return std::make_unique<TQtRecorder>(); }};
}
