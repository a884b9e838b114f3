#include "tools/panel-sim/SimLog.h"

#include <cstdio>
#include <mutex>

namespace {

// stdout and stderr are process-wide, so is the lock that keeps their lines whole.
std::mutex& outputMutex() {
  static std::mutex m;
  return m;
}

void writeLine(std::FILE* stream, const std::string& text) {
  std::lock_guard lock(outputMutex());
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

}  // namespace

void logLine(const std::string& line) { writeLine(stdout, line); }

void errorLine(const std::string& line) { writeLine(stderr, "panel-sim: " + line); }
