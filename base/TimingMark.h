#pragma once

// Timestamps for measuring the call-to-picture path from outside (bench/call-to-picture.sh).
// Built only with -DOSTREL_TIMING=ON, which the shipped build leaves off: there every mark is
// an empty inline function. With it, each mark writes one line to stderr,
// "ostrel-timing NAME NANOSECONDS", from CLOCK_MONOTONIC, which every process on the machine
// shares, so that the program's marks and panel-sim's compare directly. One write() per line:
// marks from several threads never interleave.
#ifdef OSTREL_TIMING
#include <time.h>
#include <unistd.h>

#include <cstdio>
#endif

inline void timingMark([[maybe_unused]] const char* name) {
#ifdef OSTREL_TIMING
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  char line[128];
  const int length = std::snprintf(line, sizeof line, "ostrel-timing %s %lld\n", name,
                                   static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
  if (length > 0) [[maybe_unused]]
    auto ignored = ::write(2, line, static_cast<std::size_t>(length));
#endif
}
