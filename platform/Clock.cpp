#include "platform/Clock.h"

#include <ctime>

std::chrono::steady_clock::time_point TSystemClock::steadyNow() const {
  return std::chrono::steady_clock::now();
}

TLocalTime TSystemClock::localNow() const {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return TLocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                    parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}
