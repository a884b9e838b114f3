#pragma once

#include <string>

// Where debugLog's entries go. The program installs its one log at start-up; the lowest layers
// log through this without knowing what keeps the entries.
class ILogSink {
 public:
  virtual ~ILogSink() = default;
  // One entry. Must never fail towards its caller; may be called from any thread.
  virtual void debugLog(const std::string& text) = 0;
};

// The single logging operation used everywhere. Goes to the installed sink; without one the
// entry is dropped.
void debugLog(const std::string& text);

// Installs the process-wide log (start-up), or removes it with nullptr. Not owned.
void installDebugLog(ILogSink* log);
