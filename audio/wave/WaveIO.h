#pragma once

#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "audio/wave/WaveCallback.h"
#include "audio/wave/WaveUtils.h"
#include "platform/WaveOutDevice.h"

// The device-independent base of the wave components: the buffer list, the lock, the callback
// context where device notifications are handled, and the events.
//
// Threads: properties are set and Active is switched on the thread that owns the component (the
// thread that created it, the UI thread in the program). Every device notification and every
// event runs in the callback context, one at a time, under the component's lock: with Async
// false that is the owning thread, by queued calls from its event loop; with Async true a thread
// of the component's own. A handler may set Active to false from inside any event.

class EWaveAudioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A device failure with no OnError handler; the text is the device's text for LastError.
class EWaveAudioSysError : public EWaveAudioError {
 public:
  using EWaveAudioError::EWaveAudioError;
};
// Misuse: "Device is already open", "Device is already close", "Audio format cannot be changed
// while device is open".
class EWaveAudioInvalidOperation : public EWaveAudioError {
 public:
  using EWaveAudioError::EWaveAudioError;
};

class TWaveAudioIO {
 public:
  explicit TWaveAudioIO(IWaveOutSystem& system);
  virtual ~TWaveAudioIO();
  TWaveAudioIO(const TWaveAudioIO&) = delete;
  TWaveAudioIO& operator=(const TWaveAudioIO&) = delete;

  int DeviceID() const { return m_deviceId; }
  void setDeviceID(int id) { m_deviceId = id; }  // -1: the default output
  uint32_t LastError() const { return m_lastError; }
  uint16_t BufferLength() const { return m_bufferLength; }
  void setBufferLength(uint16_t ms);  // milliseconds per internally filled buffer, at least 10
  uint16_t BufferCount() const { return m_bufferCount; }
  void setBufferCount(uint16_t count);
  bool Async() const { return m_async; }
  void setAsync(bool async);  // ignored while active

  // True from the start of an opening until the device has closed (OnDeactivate).
  bool Active() const { return m_active; }
  void setActive(bool active);

  unsigned GetDeviceCount() const;
  std::string GetDeviceName() const;  // empty on failure
  uint32_t GetDeviceFormats() const;
  virtual uint32_t GetPosition() = 0;  // milliseconds played
  std::string GetErrorText(uint32_t code) const;
  // The format the device was opened with (cbSize 0).
  TWaveFormat WaveFormat() const;
  // Bytes handed to the device and not yet reported done. Never takes the lock.
  std::size_t QueuedBytes() const { return m_queuedBytes; }

  std::function<void(TWaveAudioIO&)> OnActivate, OnDeactivate, OnPause, OnResume, OnError;
  std::function<void(TWaveAudioIO&, int level)> OnLevel;
  // Sees each buffer's data just before it is measured and queued.
  std::function<void(TWaveAudioIO&, void* data, uint32_t size)> OnFilter;
  // An exception escaped a handler while a device notification was handled; the callback context
  // carries on. Show it from a queued call, never from inside this handler.
  std::function<void(TWaveAudioIO&, const std::string& text)> OnException;

 protected:
  virtual void HandleOutputOpened();
  virtual void HandleOutputClosed();
  virtual void HandleOutputDone(TWaveHeader* header) = 0;
  virtual bool OpenDevice() = 0;
  virtual bool CloseDevice() = 0;
  virtual bool IsDeviceOpen() const = 0;
  // Drops the device without waiting for it (a device that stopped answering).
  virtual void ForgetDevice() {}
  uint32_t ValidateDeviceID(int id) const;

  void StartFeeding();
  void ReleaseAllBuffers();
  void DoActivate();
  void DoDeactivate();
  void FireActivate();
  void FireDeactivate();
  void FirePause();
  void FireResume();
  // OnError if assigned, else EWaveAudioSysError with the text of LastError.
  void DoError();
  void DoLevel(const void* data, uint32_t size);
  void DoFilter(void* data, uint32_t size);
  // Stores the code in LastError; a failure runs DoError. True on success.
  bool Succeeded(uint32_t code);

  // The callback context: created at the start of an opening, retired at deactivation.
  void CreateCallbackTarget();
  void DestroyCallbackTarget();
  IWaveOutTarget& CallbackTarget() { return *m_callback; }
  // A buffer-done notice with no buffer, to this component's own callback context.
  void PostRequest();
  // Waits until `done` holds (checked under no lock), still handling this component's own
  // notices when the calling thread is the one that handles them, but nothing else of the
  // thread's event loop (no user input). False on time-out, or at once when called from inside
  // one of this component's handlers on their own thread, where the wait could never end.
  bool WaitPumping(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  bool InOwnHandler() const;
  // Joins the callback threads retired at earlier deactivations. Not under the lock.
  void ReapRetired();
  // Sets Active to false and waits until the device has closed; then nothing can call back.
  // The most derived destructor calls it, so that no handler runs into a destroyed part.
  void Shutdown();
  // Wakes whoever waits in WaitPumping to look again.
  void Bump();

  TWaveHeader* AddBuffer();
  void FreeBuffer(TWaveHeader* header);
  IWaveOutSystem& m_system;
  mutable std::recursive_mutex m_lock;
  std::vector<std::unique_ptr<TWaveHeader>> m_buffers;
  TWaveFormat m_waveFormat;
  TWaveOutCaps m_caps;
  std::atomic<bool> m_opening{false};
  std::atomic<bool> m_closing{false};
  std::atomic<std::thread::id> m_openingThread{};
  std::atomic<uint32_t> m_lastError{0};
  std::atomic<std::size_t> m_queuedBytes{0};
  bool m_destroying = false;

 private:
  void Dispatch(const TWaveNotice& notice);
  void ReportException(const std::string& text);

  int m_deviceId = -1;
  uint16_t m_bufferLength = 1000;
  uint16_t m_bufferCount = 2;
  bool m_async = false;
  std::atomic<bool> m_active{false};
  QThread* m_ownerThread;
  std::unique_ptr<TWaveCallback> m_callback;
  std::vector<std::unique_ptr<TWaveCallback>> m_retired;
  std::atomic<int> m_dispatchDepth{0};
  std::atomic<std::thread::id> m_dispatchThread{};
  // What waiters sleep on: a count bumped by every notice and every change of state.
  std::mutex m_waitMutex;
  std::condition_variable m_waitChanged;
  uint64_t m_generation = 0;
};
