#pragma once

#include <string>

// The desktop's screen saver: kept off while a call is shown, and woken by a ring.
// UI thread only.
class IScreenSaver {
 public:
  virtual ~IScreenSaver() = default;
  // Keeps the screen saver off until uninhibit(); a second call changes nothing.
  virtual void inhibit(const std::string& reason) = 0;
  virtual void uninhibit() = 0;
  // Wakes a blanked screen as user activity would.
  virtual void wake() = 0;
};

// A desktop without a screen saver service.
class TNullScreenSaver final : public IScreenSaver {
 public:
  void inhibit(const std::string&) override {}
  void uninhibit() override {}
  void wake() override {}
};
