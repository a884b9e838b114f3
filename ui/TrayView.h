#pragma once

#include <optional>
#include <string>

#include "api/RelayCommand.h"
#include "core/TrayState.h"

// What the tray icon shows; implemented by the tray widget, and by a recording fake in tests.
// UI thread only.
class ITrayView {
 public:
  virtual ~ITrayView() = default;
  // The picture, the missed count written on it, and the tooltip (Windows-1252).
  virtual void showTrayState(ETrayPicture picture, int missed, const std::string& toolTip) = 0;
  // The door item's feedback: busy, success or failure, or plain again (nothing).
  virtual void showRelayOutcome(const std::optional<TRelayOutcome>& outcome) = 0;
  // Menus in the language now loaded.
  virtual void applyTexts() = 0;
};
