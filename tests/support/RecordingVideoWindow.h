#pragma once

#include <map>
#include <string>
#include <vector>

#include "video/VideoDisplay.h"

// Records what the video logic did to the window, starting from the window's look after
// start-up (bar buttons shown, audio controls and the caption hidden, stop and snapshot disabled).
class TRecordingVideoWindow : public virtual IVideoWindow {
 public:
  TRecordingVideoWindow();

  std::string caption = "0.0.0.0";
  std::map<EVideoControl, bool> visible;
  std::map<EVideoControl, bool> enabled;
  TBytes picture;
  TWindowPos position{120, 80};
  bool fullScreenGeometry = false;
  bool topmost = false;
  bool audioActive = false;
  std::string mainCaption = "Ostrel Stream";
  ETopLevel mainState = ETopLevel::Shown;
  // "restoreApplication", "restore:CAPTION" and "front:CAPTION", in order.
  std::vector<std::string> focusCalls;
  // Every change of the caption's text, in order.
  std::vector<std::string> captions;

  void setCaption(const std::string& text) override;
  void setControlVisible(EVideoControl control, bool on) override;
  void setControlEnabled(EVideoControl control, bool on) override;
  void setPicture(TBytes jpeg) override;
  TWindowPos windowPosition() const override { return position; }
  void showFullScreenGeometry() override;
  void showNormalGeometry(TWindowPos at) override;
  void setTopmost(bool on) override { topmost = on; }
  bool audioConnectionActive() const override { return audioActive; }
  std::string windowCaption() const override { return mainCaption; }
  void restoreApplication() override;
  ETopLevel topLevelWindow(const std::string& caption) const override;
  void restoreTopLevel(const std::string& caption) override;
  void bringToFront(const std::string& caption) override;
};
