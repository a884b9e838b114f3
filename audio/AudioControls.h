#pragma once

// The window's live-sound controls, as the receiver drives them: the listen button, the
// stop-listening button on the same spot, and the level bar (0..100). UI thread only.
class IAudioControls {
 public:
  virtual ~IAudioControls() = default;
  virtual void setListenVisible(bool visible) = 0;
  virtual void setListenEnabled(bool enabled) = 0;
  virtual void setStopListeningVisible(bool visible) = 0;
  virtual void setLevelVisible(bool visible) = 0;
  virtual void setLevelPosition(int position) = 0;
};
