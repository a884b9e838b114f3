#pragma once

#include <string>
#include <vector>

#include "core/SettingsHost.h"

// The station as the settings window sees it: fixed interface choices and detected panels, and
// a count of every request.
class TFakeSettingsHost final : public ISettingsHost {
 public:
  std::vector<std::string> sniffed;
  std::vector<std::string> choices;
  // What the interface refresh finds.
  std::vector<std::string> choicesAfterRefresh;
  int bcasts = 0, refreshes = 0, borderIcons = 0, topmosts = 0, mainTexts = 0, restarts = 0;

  void BCast() override { ++bcasts; }
  const std::vector<std::string>& SniffedIPs() const override { return sniffed; }
  std::vector<std::string> interfaceChoices() const override { return choices; }
  void refreshInterfaces() override {
    ++refreshes;
    choices = choicesAfterRefresh;
  }
  void applyBorderIcons() override { ++borderIcons; }
  void applyTopmost() override { ++topmosts; }
  void applyMainWindowTexts() override { ++mainTexts; }
  void restartProgram() override { ++restarts; }
};
