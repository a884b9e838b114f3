#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/WaveOutDevice.h"

class TNullWaveOutDevice;

// A sound output that plays into nothing at the speed of a clock the caller moves: advance(ms)
// consumes the queued buffers at the format's byte rate and hands back each one that has been
// played. Nothing moves by itself, so a test decides exactly when each buffer ends. It can be
// told to fail where a real device fails. Safe from any thread.
class TNullWaveOutSystem final : public IWaveOutSystem {
 public:
  // Result codes to give instead of success (0 = behave).
  struct TFaults {
    uint32_t query = 0;
    uint32_t open = 0;
    uint32_t write = 0;
    uint32_t reset = 0;
    uint32_t pause = 0;
  };

  TNullWaveOutSystem();
  ~TNullWaveOutSystem() override;

  void setDeviceCount(unsigned count);
  void setCapabilities(const TWaveOutCaps& caps);
  void setFaults(const TFaults& faults);

  // Moves the clock of every open device.
  void advance(uint32_t ms);
  // Open devices (0 or 1 in the tests), and what the last one was opened with.
  int openDevices() const;
  TWaveFormat lastFormat() const;
  // Bytes queued on the open devices and not yet played.
  uint64_t queuedBytes() const;
  uint32_t lastVolume() const;
  bool paused() const;

  unsigned deviceCount() override;
  uint32_t capabilities(int deviceId, TWaveOutCaps& caps) override;
  uint32_t queryFormat(int deviceId, const TWaveFormat& format) override;
  uint32_t open(int deviceId, const TWaveFormat& format, IWaveOutTarget& target,
                std::unique_ptr<IWaveOutDevice>& device) override;

 private:
  friend class TNullWaveOutDevice;
  void forget(TNullWaveOutDevice* device);

  mutable std::mutex m_mutex;  // taken before a device's own
  unsigned m_count = 1;
  TWaveOutCaps m_caps;
  TFaults m_faults;
  TWaveFormat m_lastFormat;
  std::vector<TNullWaveOutDevice*> m_devices;
};
