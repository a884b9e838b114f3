#include "app/CommandLine.h"

#include "core/Version.h"

namespace {

const char* const Usage =
    "Usage: ostrel-stream [Qt options]\n"
    "       ostrel-stream --help | --version\n"
    "\n"
    "The door-entry station: shows the live video of the IP door panel that rings, opens the\n"
    "door through the panel's API, plays the panel's sound and sends it voice messages.\n"
    "Everything else is set up in the window, under Tools > Settings.\n"
    "\n"
    "Options:\n"
    "  -h, --help     print this text and exit\n"
    "  -v, --version  print the version and exit\n"
    "\n"
    "Other arguments are Qt's own (for example -platform offscreen). See ostrel-stream(1).\n";

}  // namespace

std::optional<TCommandLineAnswer> answerCommandLine(const std::vector<std::string>& arguments) {
  // arguments[0] is the program's own name.
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--help" || a == "-h") return TCommandLineAnswer{Usage, 0};
    if (a == "--version" || a == "-v")
      return TCommandLineAnswer{"ostrel-stream " + FileVersionText() + "\n", 0};
  }
  return std::nullopt;
}
