#include "tests/support/RecordingVideoWindow.h"

TRecordingVideoWindow::TRecordingVideoWindow() {
  for (EVideoControl control :
       {EVideoControl::VideoView, EVideoControl::AlwaysOnTopPin, EVideoControl::DetectionLed,
        EVideoControl::FavouriteButton, EVideoControl::RelayButton, EVideoControl::StopButton,
        EVideoControl::SnapshotButton, EVideoControl::VoiceMessageButton})
    visible[control] = true;
  for (EVideoControl control : {EVideoControl::PanelCaption, EVideoControl::ListenButton,
                                EVideoControl::StopListeningButton, EVideoControl::AudioLevelBar})
    visible[control] = false;
  for (const auto& [control, shown] : visible) enabled[control] = true;
  enabled[EVideoControl::StopButton] = false;
  enabled[EVideoControl::SnapshotButton] = false;
}

void TRecordingVideoWindow::setCaption(const std::string& text) {
  caption = text;
  captions.push_back(text);
}

void TRecordingVideoWindow::setControlVisible(EVideoControl control, bool on) {
  visible[control] = on;
}

void TRecordingVideoWindow::setControlEnabled(EVideoControl control, bool on) {
  enabled[control] = on;
}

void TRecordingVideoWindow::setPicture(TBytes jpeg) { picture = std::move(jpeg); }

void TRecordingVideoWindow::showFullScreenGeometry() {
  fullScreenGeometry = true;
  position = {0, 0};
}

void TRecordingVideoWindow::showNormalGeometry(TWindowPos at) {
  fullScreenGeometry = false;
  position = at;
}

void TRecordingVideoWindow::restoreApplication() {
  focusCalls.push_back("restoreApplication");
  if (mainState == ETopLevel::Minimised) mainState = ETopLevel::Shown;
}

IVideoWindow::ETopLevel TRecordingVideoWindow::topLevelWindow(const std::string& name) const {
  return name == mainCaption ? mainState : ETopLevel::Missing;
}

void TRecordingVideoWindow::restoreTopLevel(const std::string& name) {
  focusCalls.push_back("restore:" + name);
  if (name == mainCaption) mainState = ETopLevel::Shown;
}

void TRecordingVideoWindow::bringToFront(const std::string& name) {
  focusCalls.push_back("front:" + name);
}
