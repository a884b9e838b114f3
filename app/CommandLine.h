#pragma once

#include <optional>
#include <string>
#include <vector>

// The options answered before any window exists, so that they work without a display:
// --help and --version print their text and the program ends. Every other argument is left to
// Qt (-platform, -display...).
struct TCommandLineAnswer {
  std::string text;
  int exitStatus = 0;
};

// The answer to give and end with, or nothing when the program should start as usual.
std::optional<TCommandLineAnswer> answerCommandLine(const std::vector<std::string>& arguments);
