#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Env.h"

// What the program learns from its arguments and environment before the application object
// exists. Arguments it does not know are left to Qt.
struct TStartupChoices {
  // Started by the session's autostart entry (TAutostart::Argument).
  bool autostart = false;
  // Started by a running copy that is ending to apply new settings (RestartedArgument).
  bool restarted = false;
  // The Qt platform to ask for, when the environment does not name one.
  std::optional<std::string> qtPlatform;
};

// The argument a copy restarting itself passes to the new one.
inline constexpr const char* RestartedArgument = "--restarted";

// In a Wayland session, Qt's X11 platform (XWayland) unless QT_QPA_PLATFORM is set: placing
// the windows, keeping one on top and raising it work there and not under Wayland.
TStartupChoices readStartupChoices(const std::vector<std::string>& arguments, const IEnv& env);

// Puts the chosen platform into QT_QPA_PLATFORM; before the application object is made.
void applyQtPlatform(const TStartupChoices& choices);
