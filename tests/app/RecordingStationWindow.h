#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/StationWindow.h"
#include "tests/support/RecordingVideoWindow.h"

// The main window as the station sees it, recording what it was asked to show. No widgets.
class TRecordingStationWindow final : public TRecordingVideoWindow, public IStationWindow {
 public:
  bool minimised = false;
  bool systemButtons = false;
  bool onTopFlag = false;
  int textsApplied = 0;
  bool ledDetected = false;
  std::string hint;

  void minimise() override { minimised = true; }
  void applyBorderIcons(bool sysButtons, bool onTop) override {
    systemButtons = sysButtons;
    onTopFlag = onTop;
  }
  void applyTexts() override { ++textsApplied; }
  // Every look the relay button was given, in order ("plain" for nothing).
  std::vector<std::string> relayLooks;
  void showRelayOutcome(const std::optional<TRelayOutcome>& outcome) override {
    if (!outcome) {
      relayLooks.push_back("plain");
      return;
    }
    const char* names[] = {"busy", "success", "failure"};
    relayLooks.push_back(std::string(names[static_cast<int>(outcome->state)]) +
                         (outcome->detail.empty() ? "" : ": " + outcome->detail));
  }
  // Every look of the voice-message button and its clock, in order.
  std::vector<TVoiceMessageLook> voiceLooks;
  void showVoiceMessage(const TVoiceMessageLook& look) override { voiceLooks.push_back(look); }
  // The texts over the video, the title, snapshots told, the network wait and the settings
  // window's openings, as they were last shown.
  std::string status, statistics, title = "Ostrel Stream";
  std::uint64_t painted = 0;
  std::vector<std::string> snapshotsTold;
  std::vector<bool> networkWaits;
  int interfaceSettingsOpened = 0;
  void showStreamStatus(const std::string& text, const std::string& stats) override {
    status = text;
    statistics = stats;
  }
  std::uint64_t framesShown() const override { return painted; }
  void setTitle(const std::string& text) override { title = text; }
  void showSnapshotSaved(const std::string& path) override { snapshotsTold.push_back(path); }
  void showNetworkWait(bool shown) override { networkWaits.push_back(shown); }
  void openInterfaceSettings() override { ++interfaceSettingsOpened; }
  // Every position the level bar was given, in order.
  std::vector<int> audioLevels;
  void setAudioLevel(int position) override { audioLevels.push_back(position); }
  void setLedIcon(bool detected) override { ledDetected = detected; }
  void setLedHint(const std::string& text) override { hint = text; }
  std::string ledHint() const override { return hint; }
};
