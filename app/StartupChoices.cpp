#include "app/StartupChoices.h"

#include <QByteArray>
#include <QtGlobal>

#include "core/Autostart.h"

TStartupChoices readStartupChoices(const std::vector<std::string>& arguments, const IEnv& env) {
  TStartupChoices choices;
  // arguments[0] is the program's own name.
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == TAutostart::Argument) choices.autostart = true;
    if (arguments[i] == RestartedArgument) choices.restarted = true;
  }
  const auto platform = env.get("QT_QPA_PLATFORM");
  const bool chosen = platform && !platform->empty();
  const auto session = env.get("XDG_SESSION_TYPE");
  const auto wayland = env.get("WAYLAND_DISPLAY");
  const bool waylandSession = (session && *session == "wayland") || (wayland && !wayland->empty());
  const auto display = env.get("DISPLAY");
  // Without DISPLAY there is no XWayland to ask for: Qt then chooses as usual.
  if (!chosen && waylandSession && display && !display->empty()) choices.qtPlatform = "xcb";
  return choices;
}

void applyQtPlatform(const TStartupChoices& choices) {
  if (choices.qtPlatform)
    qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(*choices.qtPlatform));
}
