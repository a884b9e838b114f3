#include "base/LogSink.h"

#include <atomic>

namespace {

std::atomic<ILogSink*> g_installed{nullptr};

}  // namespace

void debugLog(const std::string& text) {
  if (ILogSink* log = g_installed.load()) log->debugLog(text);
}

void installDebugLog(ILogSink* log) { g_installed.store(log); }
