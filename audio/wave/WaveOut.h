#pragma once

#include <cstdint>
#include <memory>

#include "audio/wave/WaveIO.h"

// Which of the stored volume, pitch and playback rate are applied to the device.
enum TWaveOutOption : uint8_t { woSetVolume = 1, woSetPitch = 2, woSetPlaybackRate = 4 };
using TWaveOutOptions = uint8_t;

// A wave output device fed buffer by buffer: the buffer cycle keeps up to BufferCount buffers
// queued, asking GetDataToPlay (BufferInternally: the component's own blocks) or
// GetDataPtrToPlay (the owner's blocks, queued without a copy) for each one.
class TWaveAudioOut : public TWaveAudioIO {
 public:
  explicit TWaveAudioOut(IWaveOutSystem& system);
  ~TWaveAudioOut() override;

  bool Paused() const { return m_paused; }
  void setPaused(bool paused);
  TWaveOutOptions Options() const { return m_options; }
  void setOptions(TWaveOutOptions options);  // applied to an open device at once
  bool BufferInternally() const { return m_bufferInternally; }
  void setBufferInternally(bool internally) { m_bufferInternally = internally; }

  // Percent; reading an open device that has a volume refreshes them from it.
  uint16_t VolumeLeft();
  uint16_t VolumeRight();
  int Volume();  // the mean of left and right
  void setVolumeLeft(uint16_t percent);
  void setVolumeRight(uint16_t percent);
  void setVolume(int percent);  // both
  double Pitch();
  void setPitch(double pitch);
  double PlaybackRate();
  void setPlaybackRate(double rate);

  uint32_t GetPosition() override;
  virtual void SetPosition(uint32_t ms);

  // Asks for data now rather than when the next queued buffer comes back: for a live source whose
  // data arrives between those returns (the device holds back silence it does not need yet).
  void RequestData();

  // Wraps a block in a new buffer (the component frees it later when `owned`) and queues it.
  bool WriteData(void* buffer, uint32_t size, bool owned, uint32_t loops);

 protected:
  void HandleOutputOpened() override;
  void HandleOutputClosed() override;
  void HandleOutputDone(TWaveHeader* header) override;
  bool OpenDevice() override;
  bool CloseDevice() override;
  bool IsDeviceOpen() const override { return m_device != nullptr; }
  void ForgetDevice() override;
  virtual bool PauseDevice();
  virtual bool ResumeDevice();
  void GetVolume(uint16_t& left, uint16_t& right);
  void SetVolume(uint16_t left, uint16_t right);
  bool WriteBuffer(TWaveHeader& header);
  // The format to open with; the component frees it with std::free when freeIt is left true.
  virtual bool GetWaveFormat(TWaveFormat*& format, bool& freeIt) = 0;
  // Fills `buffer` (size bytes); the bytes written, 0 for the end of the data.
  virtual uint32_t GetDataToPlay(void* buffer, uint32_t size, uint32_t& loops);
  // A block and its byte count, no block and a count of milliseconds of silence, or 0 for the
  // end of the data.
  virtual uint32_t GetDataPtrToPlay(void*& buffer, uint32_t& loops, bool& freeIt);

 private:
  bool OwnBlock(TWaveHeader& header, uint32_t size);
  void ReleaseBlock(TWaveHeader& header);
  void CloseHandle();
  void ApplyPitch();
  void ApplyPlaybackRate();

  std::unique_ptr<IWaveOutDevice> m_device;
  bool m_closeIssued = false;
  std::atomic<bool> m_paused{false};
  uint16_t m_volumeLeft = 75;
  uint16_t m_volumeRight = 75;
  double m_pitch = 1.0;
  double m_playbackRate = 1.0;
  TWaveOutOptions m_options = 0;
  bool m_bufferInternally = true;
  uint32_t m_positionOffset = 0;
};
