#pragma once

#include "platform/WaveOutDevice.h"

// The workstation's sound output through Qt Multimedia (PulseAudio or PipeWire). Device -1 is
// the default output, 0..n-1 the outputs Qt lists. Each open device runs its QAudioSink on a
// thread of its own, so that the device can be driven from any thread and never waits for the UI
// thread. Sound is written into the sink as soon as it is queued; pure silence only as the sink
// needs it to keep playing, and what is left of it is handed back unplayed once sound is queued
// behind it. A buffer is handed back once the sink has taken all of its bytes. Volume is one
// value for both channels; pitch and rate are not supported.
//
// Without any output (no sound server, or one without a sink) deviceCount() is 0 and opening
// fails with kWaveErrNoDevice ("No sound output device").
class TQtWaveOutSystem final : public IWaveOutSystem {
 public:
  unsigned deviceCount() override;
  uint32_t capabilities(int deviceId, TWaveOutCaps& caps) override;
  uint32_t queryFormat(int deviceId, const TWaveFormat& format) override;
  uint32_t open(int deviceId, const TWaveFormat& format, IWaveOutTarget& target,
                std::unique_ptr<IWaveOutDevice>& device) override;
};
