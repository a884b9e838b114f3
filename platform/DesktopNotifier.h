#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

// One desktop notification. Texts are UTF-8.
struct TDesktopNotification {
  std::string summary;
  std::string body;
  // The picture as JPEG bytes; empty for none.
  std::vector<unsigned char> jpeg;
  // The buttons: a key reported back when pressed, and its label.
  std::vector<std::pair<std::string, std::string>> actions;
};

// The desktop's notifications. A notifier shows one notification at a time: a new one replaces
// the one still on screen. UI thread only.
class IDesktopNotifier {
 public:
  virtual ~IDesktopNotifier() = default;
  virtual void notify(const TDesktopNotification& notification) = 0;
  // Takes the notification away, if one is shown.
  virtual void withdraw() = 0;
  // Called with an action's key when the user presses its button.
  virtual void setOnAction(std::function<void(const std::string& key)> onAction) = 0;
};

// A desktop without notifications: nothing is shown, nothing is reported.
class TNullDesktopNotifier final : public IDesktopNotifier {
 public:
  void notify(const TDesktopNotification&) override {}
  void withdraw() override {}
  void setOnAction(std::function<void(const std::string&)>) override {}
};
