#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The voice message's sound: unsigned 8-bit samples, mono, 8000 per second (8000 bytes a second).
inline constexpr int kRecordingSampleRate = 8000;
inline constexpr int kRecordingChannels = 1;
inline constexpr int kRecordingBitsPerSample = 8;
inline constexpr int kRecordingBytesPerSecond =
    kRecordingSampleRate * kRecordingChannels * kRecordingBitsPerSample / 8;
// The value of a silent unsigned 8-bit sample.
inline constexpr unsigned char kRecordingSilence = 0x80;

// A sound input recording the voice message's format from the default input.
//
// Thread contract: UI thread only (the Qt backend is fed by the event loop).
class IRecorder {
 public:
  virtual ~IRecorder() = default;
  // Starts a new recording, dropping the previous one. False, with the reason in error(), when
  // there is no sound input or it refuses to record.
  virtual bool start() = 0;
  // Ends the recording; what was recorded stays in pcm() until the next start.
  virtual void stop() = 0;
  virtual bool recording() const = 0;
  // Why the last start failed, or why the input stopped by itself during the recording; empty
  // otherwise.
  virtual std::string error() const = 0;
  // The samples recorded so far, in the format above.
  virtual std::string pcm() const = 0;
};

// One way of recording, as start-up registers it.
struct TRecorderBackend {
  std::string name;
  int priority = 0;  // the highest one is used unless a name is asked for
  std::function<std::unique_ptr<IRecorder>()> create;
};

// The recorders the program may use, filled explicitly at start-up (never by static
// initialisers, whose order nobody controls). Not thread-safe: fill it before it is read.
class TRecorderRegistry {
 public:
  void add(TRecorderBackend backend);
  // A recorder of the named backend, or of the one with the highest priority when the name is
  // empty; null when there is no such backend.
  std::unique_ptr<IRecorder> create(const std::string& name = {}) const;
  std::vector<std::string> names() const;

 private:
  std::vector<TRecorderBackend> m_backends;
};
