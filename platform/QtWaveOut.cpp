#include "platform/QtWaveOut.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

// What the sound server holds ahead of the speaker: enough to ride out a late timer tick of the
// sink's thread, little enough that live sound stays live.
constexpr int kSinkBufferMs = 50;
// How often the sink is topped up while buffers are queued: every 10 ms keeps 40 ms in it, a
// wider margin against a tick delayed on a busy machine than 20 ms, which costs a little less.
constexpr int kPumpMs = 10;

bool toQtFormat(const TWaveFormat& format, QAudioFormat& out) {
  if (format.wFormatTag != kWaveFormatPcm || format.nSamplesPerSec == 0) return false;
  if (format.nChannels < 1 || format.nChannels > 2) return false;
  if (format.wBitsPerSample == 8)
    out.setSampleFormat(QAudioFormat::UInt8);
  else if (format.wBitsPerSample == 16)
    out.setSampleFormat(QAudioFormat::Int16);
  else
    return false;
  out.setSampleRate(static_cast<int>(format.nSamplesPerSec));
  out.setChannelCount(format.nChannels);
  return true;
}

uint32_t findDevice(int deviceId, QAudioDevice& device) {
  const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
  if (outputs.isEmpty()) return kWaveErrNoDevice;
  if (deviceId == -1) {
    device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) device = outputs.front();
    return kWaveOk;
  }
  if (deviceId < 0 || deviceId >= outputs.size()) return kWaveErrBadDeviceId;
  device = outputs[deviceId];
  return kWaveOk;
}

uint64_t playLength(const TWaveHeader& header) {
  const bool looping = (header.flags & (kWaveHdrBeginLoop | kWaveHdrEndLoop)) ==
                       (kWaveHdrBeginLoop | kWaveHdrEndLoop);
  return uint64_t{header.bufferLength} * (looping && header.loops > 1 ? header.loops : 1);
}

bool allBytesAre(const TWaveHeader& header, unsigned char value) {
  const auto* bytes = static_cast<const unsigned char*>(header.data);
  return std::all_of(bytes, bytes + header.bufferLength,
                     [value](unsigned char b) { return b == value; });
}

// The queued buffers, written from any thread, pumped into the sink on the sink's thread.
//
// A buffer of pure silence that has not started playing when another buffer is already waiting
// behind it is handed back unplayed: the player bridges a pause in its supply with short
// silence buffers, and once sound arrives behind them, playing them would only delay that
// sound, and every pause would add its bridge to the delay for good.
class TBufferQueue {
 public:
  // silence: the byte value of silence in the format played (128 for 8-bit, 0 for 16-bit).
  TBufferQueue(IWaveOutTarget& target, unsigned char silence)
      : m_target(target), m_silence(silence) {}

  void push(TWaveHeader& header) {
    std::lock_guard lock(m_mutex);
    header.flags = (header.flags & ~kWaveHdrDone) | kWaveHdrInQueue;
    m_queue.push_back(&header);
  }
  bool empty() const {
    std::lock_guard lock(m_mutex);
    return m_queue.empty();
  }
  // Hands every queued buffer back, in order.
  void returnAll() {
    std::lock_guard lock(m_mutex);
    while (!m_queue.empty()) finishFront();
  }
  // Writes what the sink has room for; a buffer whose last byte the sink took is handed back.
  void pump(QIODevice& sink, qint64 room) {
    std::lock_guard lock(m_mutex);
    while (room > 0 && !m_queue.empty()) {
      TWaveHeader& header = *m_queue.front();
      if (m_frontPlayed == 0 && m_queue.size() > 1 && playLength(header) == header.bufferLength &&
          allBytesAre(header, m_silence)) {
        finishFront();
        continue;
      }
      const uint64_t total = playLength(header);
      if (header.bufferLength > 0 && m_frontPlayed < total) {
        const uint64_t offset = m_frontPlayed % header.bufferLength;
        const uint64_t step = std::min<uint64_t>(
            {header.bufferLength - offset, total - m_frontPlayed, static_cast<uint64_t>(room)});
        const qint64 written =
            sink.write(static_cast<const char*>(header.data) + offset, static_cast<qint64>(step));
        if (written <= 0) return;
        room -= written;
        m_frontPlayed += static_cast<uint64_t>(written);
      }
      if (m_frontPlayed >= total) finishFront();
    }
  }

 private:
  void finishFront() {
    TWaveHeader* header = m_queue.front();
    m_queue.pop_front();
    m_frontPlayed = 0;
    header->flags = (header->flags & ~kWaveHdrInQueue) | kWaveHdrDone;
    m_target.waveOutDone(header);
  }

  mutable std::mutex m_mutex;
  std::deque<TWaveHeader*> m_queue;
  uint64_t m_frontPlayed = 0;
  IWaveOutTarget& m_target;
  const unsigned char m_silence;
};

class TQtWaveOutDevice final : public IWaveOutDevice {
 public:
  TQtWaveOutDevice(IWaveOutTarget& target, unsigned char silence)
      : m_target(target), m_queue(target, silence) {}

  ~TQtWaveOutDevice() override {
    if (m_thread.isRunning()) {
      onSinkThread([this] { stopSink(); });
      m_thread.quit();
      m_thread.wait();
    }
  }

  uint32_t start(const QAudioDevice& device, const QAudioFormat& format) {
    m_context.moveToThread(&m_thread);
    m_thread.setObjectName("wave-out");
    m_thread.start();
    uint32_t code = kWaveOk;
    onSinkThread([&] {
      m_sink = new QAudioSink(device, format);
      m_sink->setBufferSize(format.bytesForDuration(kSinkBufferMs * 1000));
      m_input = m_sink->start();
      if (m_input == nullptr || m_sink->error() != QAudio::NoError) {
        code = kWaveErrUnspecified;
        stopSink();
        return;
      }
      m_pumpTimer = new QTimer;
      m_pumpTimer->setTimerType(Qt::PreciseTimer);
      m_pumpTimer->setInterval(kPumpMs);
      QObject::connect(m_pumpTimer, &QTimer::timeout, &m_context, [this] { pump(); });
    });
    if (code != kWaveOk) {
      m_thread.quit();
      m_thread.wait();
    }
    return code;
  }

  uint32_t prepare(TWaveHeader& header) override {
    header.flags |= kWaveHdrPrepared;
    return kWaveOk;
  }
  uint32_t unprepare(TWaveHeader& header) override {
    if ((header.flags & kWaveHdrInQueue) != 0) return kWaveErrStillPlaying;
    header.flags &= ~kWaveHdrPrepared;
    return kWaveOk;
  }
  uint32_t write(TWaveHeader& header) override {
    std::lock_guard lock(m_mutex);
    if (m_closed) return kWaveErrInvalidHandle;
    if ((header.flags & kWaveHdrPrepared) == 0) return kWaveErrUnprepared;
    m_queue.push(header);
    QMetaObject::invokeMethod(
        &m_context, [this] { pump(); }, Qt::QueuedConnection);
    return kWaveOk;
  }
  uint32_t reset() override {
    std::lock_guard lock(m_mutex);
    if (m_closed) return kWaveErrInvalidHandle;
    m_queue.returnAll();
    return kWaveOk;
  }
  uint32_t close() override {
    std::lock_guard lock(m_mutex);
    if (m_closed) return kWaveErrInvalidHandle;
    if (!m_queue.empty()) return kWaveErrStillPlaying;
    onSinkThread([this] { stopSink(); });
    m_thread.quit();
    m_thread.wait();
    m_closed = true;
    m_target.waveOutClosed();
    return kWaveOk;
  }
  uint32_t pause() override {
    return onOpenSink([](QAudioSink& sink) { sink.suspend(); });
  }
  uint32_t restart() override {
    return onOpenSink([](QAudioSink& sink) { sink.resume(); });
  }
  uint32_t getVolume(uint32_t& volume) override {
    return onOpenSink([&](QAudioSink& sink) {
      const auto level =
          static_cast<uint32_t>(std::lround(std::clamp(sink.volume(), 0.0, 1.0) * 65535));
      volume = level | (level << 16);
    });
  }
  uint32_t setVolume(uint32_t volume) override {
    // One volume for both channels: the left one, as a device without separate channels does.
    return onOpenSink([&](QAudioSink& sink) { sink.setVolume((volume & 0xFFFF) / 65535.0); });
  }
  uint32_t getPitch(uint32_t&) override { return kWaveErrNotSupported; }
  uint32_t setPitch(uint32_t) override { return kWaveErrNotSupported; }
  uint32_t getPlaybackRate(uint32_t&) override { return kWaveErrNotSupported; }
  uint32_t setPlaybackRate(uint32_t) override { return kWaveErrNotSupported; }
  uint32_t getPosition(TWavePosition& position) override {
    return onOpenSink([&](QAudioSink& sink) {
      position.unit = TWavePosition::EUnit::Milliseconds;
      position.value = static_cast<uint64_t>(std::max<qint64>(0, sink.processedUSecs() / 1000));
    });
  }

 private:
  template <class F>
  void onSinkThread(F work) {
    QMetaObject::invokeMethod(&m_context, work, Qt::BlockingQueuedConnection);
  }
  template <class F>
  uint32_t onOpenSink(F work) {
    std::lock_guard lock(m_mutex);
    if (m_closed) return kWaveErrInvalidHandle;
    onSinkThread([&] { work(*m_sink); });
    return kWaveOk;
  }
  // On the sink's thread: feeds the sink while buffers are queued, and sleeps when none is.
  void pump() {
    if (m_sink == nullptr) return;
    m_queue.pump(*m_input, m_sink->bytesFree());
    if (m_queue.empty())
      m_pumpTimer->stop();
    else if (!m_pumpTimer->isActive())
      m_pumpTimer->start();
  }
  // On the sink's thread.
  void stopSink() {
    delete m_pumpTimer;
    m_pumpTimer = nullptr;
    if (m_sink != nullptr) m_sink->stop();
    delete m_sink;
    m_sink = nullptr;
    m_input = nullptr;
  }

  IWaveOutTarget& m_target;
  std::mutex m_mutex;  // serialises the calls, so that close() cannot race a write()
  bool m_closed = false;
  QThread m_thread;
  QObject m_context;  // lives on m_thread: what the sink's work is queued on
  TBufferQueue m_queue;
  // Created, used and destroyed on m_thread only.
  QAudioSink* m_sink = nullptr;
  QIODevice* m_input = nullptr;  // the sink's own
  QTimer* m_pumpTimer = nullptr;
};

}  // namespace

unsigned TQtWaveOutSystem::deviceCount() {
  return static_cast<unsigned>(QMediaDevices::audioOutputs().size());
}

uint32_t TQtWaveOutSystem::capabilities(int deviceId, TWaveOutCaps& caps) {
  QAudioDevice device;
  if (const uint32_t code = findDevice(deviceId, device); code != kWaveOk) return code;
  caps = TWaveOutCaps{};
  caps.productName = device.description().toStdString();
  caps.volume = true;
  return kWaveOk;
}

uint32_t TQtWaveOutSystem::queryFormat(int deviceId, const TWaveFormat& format) {
  QAudioDevice device;
  if (const uint32_t code = findDevice(deviceId, device); code != kWaveOk) return code;
  QAudioFormat qtFormat;
  if (!toQtFormat(format, qtFormat) || !device.isFormatSupported(qtFormat))
    return kWaveErrBadFormat;
  return kWaveOk;
}

uint32_t TQtWaveOutSystem::open(int deviceId, const TWaveFormat& format, IWaveOutTarget& target,
                                std::unique_ptr<IWaveOutDevice>& device) {
  QAudioDevice output;
  if (const uint32_t code = findDevice(deviceId, output); code != kWaveOk) return code;
  QAudioFormat qtFormat;
  if (!toQtFormat(format, qtFormat)) return kWaveErrBadFormat;
  auto opened =
      std::make_unique<TQtWaveOutDevice>(target, format.wBitsPerSample == 8 ? 0x80 : 0x00);
  if (const uint32_t code = opened->start(output, qtFormat); code != kWaveOk) return code;
  target.waveOutOpened();
  device = std::move(opened);
  return kWaveOk;
}
