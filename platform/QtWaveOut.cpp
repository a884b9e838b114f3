#include "platform/QtWaveOut.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

// What the sound server may hold ahead of the speaker at most. At this size PulseAudio asks for
// data every 20 ms (a quarter of it, at most 20 ms): its requests are wake-ups of Qt's client
// thread, 80 a second at 50 ms. It also holds 20 ms itself (another quarter).
constexpr int kSinkBufferMs = 80;
// Sound is written as soon as it is queued. Silence is written only when what the sink holds
// ahead of the speaker falls below this, in steps of kSilenceStepMs: written earlier, it would
// play before the sound that comes next and delay it for good. Above the server's own 20 ms, it
// leaves 5 ms for a late wake-up of the sink's thread.
constexpr int kLowWaterMs = 25;
constexpr int kSilenceStepMs = 5;
// What sound may fill it up to when more of it waits than that (a panel whose stream started late
// has sent what the player then queued at once): as much as a 50 ms sink held, and room for a
// 20 ms piece from above the low-water mark.
constexpr int kSoundLeadMs = 60;
// How soon to try again when the sink had no room for what is queued: the server makes room
// every 20 ms.
constexpr int kRoomRetryMs = 20;

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
// Pure silence is how the player bridges a pause in its supply. It is written only as far as the
// sink needs it to keep playing (silenceRoom), and once sound is queued behind it, what is left
// of it is handed back unplayed, started or not: playing it would only delay that sound, and
// every pause would add its bridge to the delay for good.
class TBufferQueue {
 public:
  // silence: the byte value of silence in the format played (128 for 8-bit, 0 for 16-bit).
  TBufferQueue(IWaveOutTarget& target, unsigned char silence)
      : m_target(target), m_silence(silence) {}

  // True when the pump must run for this buffer: not when it is silence and the pump's timer
  // comes before any silence is due, nor while sound waits for room (the timer brings it too).
  bool push(TWaveHeader& header) {
    const bool silent = playLength(header) == header.bufferLength && allBytesAre(header, m_silence);
    std::lock_guard lock(m_mutex);
    header.flags = (header.flags & ~kWaveHdrDone) | kWaveHdrInQueue;
    m_queue.push_back({&header, silent});
    if (!silent) ++m_sounds;
    ++m_pushes;
    return !m_waitingForRoom && !(silent && m_timerSet);
  }
  // What the pump saw and left: how many pushes there had been; whether its timer is set and
  // whether sound waits for room. False, leaving both unset, when a buffer was pushed since:
  // the pump must run again.
  uint64_t pushes() const {
    std::lock_guard lock(m_mutex);
    return m_pushes;
  }
  bool settle(uint64_t pushesSeen, bool timerSet, bool waitingForRoom) {
    std::lock_guard lock(m_mutex);
    const bool settled = pushesSeen == m_pushes;
    m_timerSet = settled && timerSet;
    m_waitingForRoom = settled && waitingForRoom;
    return settled;
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

  struct TPumped {
    qint64 written = 0;
    bool soundWaits = false;  // sound is left queued: the sink had no room for it
  };
  // Writes the queued sound the sink has room for, and of the silence at most silenceRoom bytes;
  // a buffer whose last byte the sink took is handed back.
  TPumped pump(QIODevice& sink, qint64 room, qint64 silenceRoom) {
    std::lock_guard lock(m_mutex);
    TPumped pumped;
    while (!m_queue.empty()) {
      TEntry& entry = m_queue.front();
      if (entry.silent && m_sounds > 0) {
        finishFront();
        continue;
      }
      const qint64 allowed = entry.silent ? std::min(room, silenceRoom) : room;
      if (allowed <= 0) break;
      TWaveHeader& header = *entry.header;
      const uint64_t total = playLength(header);
      if (header.bufferLength > 0 && m_frontPlayed < total) {
        const uint64_t offset = m_frontPlayed % header.bufferLength;
        const uint64_t step = std::min<uint64_t>(
            {header.bufferLength - offset, total - m_frontPlayed, static_cast<uint64_t>(allowed)});
        const qint64 written =
            sink.write(static_cast<const char*>(header.data) + offset, static_cast<qint64>(step));
        if (written <= 0) break;
        room -= written;
        if (entry.silent) silenceRoom -= written;
        pumped.written += written;
        m_frontPlayed += static_cast<uint64_t>(written);
      }
      if (m_frontPlayed >= total) finishFront();
    }
    pumped.soundWaits = m_sounds > 0;
    return pumped;
  }

 private:
  struct TEntry {
    TWaveHeader* header;
    bool silent;
  };
  void finishFront() {
    const TEntry entry = m_queue.front();
    m_queue.pop_front();
    m_frontPlayed = 0;
    if (!entry.silent) --m_sounds;
    entry.header->flags = (entry.header->flags & ~kWaveHdrInQueue) | kWaveHdrDone;
    m_target.waveOutDone(entry.header);
  }

  mutable std::mutex m_mutex;
  std::deque<TEntry> m_queue;
  std::size_t m_sounds = 0;  // queued buffers that are not pure silence
  uint64_t m_pushes = 0;
  bool m_timerSet = false;
  bool m_waitingForRoom = false;
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
      m_format = format;
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
      m_pumpTimer->setSingleShot(true);
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
    if (m_queue.push(header)) schedulePump();
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
    return onOpenSink([this](QAudioSink& sink) {
      sink.resume();
      pump();
    });
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
  // Any thread: one pump call for any number of writes before it runs.
  void schedulePump() {
    if (!m_pumpCalled.exchange(true))
      QMetaObject::invokeMethod(
          &m_context, [this] { pump(); }, Qt::QueuedConnection);
  }
  // On the sink's thread: what the sink holds ahead of the speaker, in microseconds (what was
  // written less what the server has played).
  qint64 leadUSecs() const {
    const qint64 bytesPerSecond = qint64{m_format.bytesPerFrame()} * m_format.sampleRate();
    const qint64 written = bytesPerSecond > 0 ? m_written * 1'000'000 / bytesPerSecond : 0;
    return std::max<qint64>(0, written - m_sink->processedUSecs());
  }
  // On the sink's thread: writes what is queued (silence only as the sink needs it), and comes
  // back when silence is due or the sink has room again; sleeps when nothing is queued.
  void pump() {
    m_pumpCalled = false;
    if (m_sink == nullptr) return;
    if (m_sink->state() == QAudio::SuspendedState) return;  // restart() pumps again
    const uint64_t pushes = m_queue.pushes();
    const qint64 lead = leadUSecs();
    const qint64 silenceRoom =
        lead >= kLowWaterMs * 1000
            ? 0
            : m_format.bytesForDuration((kLowWaterMs + kSilenceStepMs) * 1000 - lead);
    const qint64 room = std::min<qint64>(
        m_sink->bytesFree(),
        lead >= kSoundLeadMs * 1000 ? 0 : m_format.bytesForDuration(kSoundLeadMs * 1000 - lead));
    const TBufferQueue::TPumped pumped = m_queue.pump(*m_input, room, silenceRoom);
    m_written += pumped.written;
    // Back when the sink should have room again, or when silence will be due: also with nothing
    // queued, so that silence written meanwhile needs no pump call of its own.
    const qint64 leadNow = leadUSecs();
    const qint64 aboveLowWater = leadNow - kLowWaterMs * 1000;
    int waitMs = 0;
    if (pumped.soundWaits)  // until 20 ms fit under kSoundLeadMs, or the server makes room
      waitMs = static_cast<int>(
          std::clamp<qint64>((leadNow - (kSoundLeadMs - 20) * 1000) / 1000, 1, kRoomRetryMs));
    else if (aboveLowWater < 1000 && !m_queue.empty())
      waitMs = kRoomRetryMs;  // the sink had no room for what waits
    else if (aboveLowWater >= 1000)
      waitMs = static_cast<int>(std::min<qint64>(aboveLowWater / 1000, kSinkBufferMs));
    const bool idle = waitMs == 0;
    if (idle)
      m_pumpTimer->stop();
    else
      m_pumpTimer->start(waitMs);
    if (!m_queue.settle(pushes, !idle, pumped.soundWaits)) schedulePump();
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
  std::atomic<bool> m_pumpCalled{false};  // a pump call is queued and has not started yet
  // Created, used and destroyed on m_thread only.
  QAudioFormat m_format;
  QAudioSink* m_sink = nullptr;
  QIODevice* m_input = nullptr;  // the sink's own
  QTimer* m_pumpTimer = nullptr;
  qint64 m_written = 0;  // bytes written into the sink
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
