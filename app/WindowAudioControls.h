#pragma once

#include "app/StationWindow.h"
#include "audio/AudioControls.h"

// The receiver's controls on the main window: the listen and stop-listening buttons and the
// level bar, reached through the window's control switches. UI thread only; the window is
// borrowed.
class TWindowAudioControls final : public IAudioControls {
 public:
  explicit TWindowAudioControls(IStationWindow& window) : m_window(window) {}
  void setListenVisible(bool visible) override {
    m_window.setControlVisible(EVideoControl::ListenButton, visible);
  }
  void setListenEnabled(bool enabled) override {
    m_window.setControlEnabled(EVideoControl::ListenButton, enabled);
  }
  void setStopListeningVisible(bool visible) override {
    m_window.setControlVisible(EVideoControl::StopListeningButton, visible);
  }
  void setLevelVisible(bool visible) override {
    m_window.setControlVisible(EVideoControl::AudioLevelBar, visible);
  }
  void setLevelPosition(int position) override { m_window.setAudioLevel(position); }

 private:
  IStationWindow& m_window;
};
