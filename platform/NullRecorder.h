#pragma once

#include <chrono>
#include <string>

#include "platform/Clock.h"
#include "platform/Recorder.h"

// A recorder without a device, for tests: it "records" at 8000 bytes a second of the clock it
// is given, the samples the test gave it (repeated as often as needed) or silence.
// Borrows the clock, which must outlive it.
class TNullRecorder final : public IRecorder {
 public:
  explicit TNullRecorder(const IClock& clock);

  // What the input hears; empty: silence.
  void setSamples(std::string samples) { m_samples = std::move(samples); }
  // Makes every start fail with this reason, like a machine without a sound input.
  void setUnavailable(std::string reason) { m_unavailable = std::move(reason); }
  int starts() const { return m_starts; }

  bool start() override;
  void stop() override;
  bool recording() const override { return m_recording; }
  std::string error() const override { return m_error; }
  std::string pcm() const override;

 private:
  std::size_t bytesRecorded() const;

  const IClock& m_clock;
  std::string m_samples;
  std::string m_unavailable;
  std::string m_error;
  bool m_recording = false;
  int m_starts = 0;
  std::chrono::steady_clock::time_point m_startedAt{};
  std::size_t m_stoppedBytes = 0;
};
