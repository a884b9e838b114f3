#pragma once

#include <string>
#include <vector>

// What the settings window asks of the rest of the program: discovery, the interface lists,
// the main window's look, and the restart. Implemented by the station, and by fakes in tests.
// UI thread only.
class ISettingsHost {
 public:
  virtual ~ISettingsHost() = default;
  // One discovery pass; answers arrive later into SniffedIPs.
  virtual void BCast() = 0;
  virtual const std::vector<std::string>& SniffedIPs() const = 0;
  // The host's non-loop-back IPv4 interface addresses, in the system's order.
  virtual std::vector<std::string> interfaceChoices() const = 0;
  // Forgets the interface lists and the chosen interface, and finds the host's address again.
  virtual void refreshInterfaces() = 0;
  // The main window's border icons from SysButtons, and its topmost state and pin from ONTop.
  virtual void applyBorderIcons() = 0;
  virtual void applyTopmost() = 0;
  // The main window's menus and hints in the language now loaded.
  virtual void applyMainWindowTexts() = 0;
  // Ends this copy of the program and starts a new one; this copy's listener is closed first,
  // so that the new one can open its own.
  virtual void restartProgram() = 0;
};
