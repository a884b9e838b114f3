#include "platform/NullRecorder.h"

TNullRecorder::TNullRecorder(const IClock& clock) : m_clock(clock) {}

bool TNullRecorder::start() {
  ++m_starts;
  m_stoppedBytes = 0;
  m_recording = false;
  m_error = m_unavailable;
  if (!m_unavailable.empty()) return false;
  m_startedAt = m_clock.steadyNow();
  m_recording = true;
  return true;
}

void TNullRecorder::stop() {
  if (!m_recording) return;
  m_stoppedBytes = bytesRecorded();
  m_recording = false;
}

std::size_t TNullRecorder::bytesRecorded() const {
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::microseconds>(m_clock.steadyNow() - m_startedAt);
  if (elapsed.count() <= 0) return 0;
  return static_cast<std::size_t>(elapsed.count()) * kRecordingBytesPerSecond / 1000000;
}

std::string TNullRecorder::pcm() const {
  const std::size_t size = m_recording ? bytesRecorded() : m_stoppedBytes;
  if (m_samples.empty()) return std::string(size, static_cast<char>(kRecordingSilence));
  std::string out;
  out.reserve(size);
  while (out.size() < size) out.append(m_samples, 0, std::min(m_samples.size(), size - out.size()));
  return out;
}
