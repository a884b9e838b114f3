#pragma once

#include <string>

// What the simulated panel does, one line per event. Lines go out whole and flushed at once so
// that a person or a test following the output sees each event as it happens. Safe to call
// from any thread: lines never interleave.

// One event on stdout.
void logLine(const std::string& line);

// One error on stderr, prefixed with the program's name.
void errorLine(const std::string& line);
