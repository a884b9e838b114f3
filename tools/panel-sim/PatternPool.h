#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "tools/panel-sim/TestPattern.h"

// The video server's test patterns, handed to client threads one each and taken back when a
// client goes. A camera has its picture buffers ready when a stream is asked for; a pattern
// made for each new client would spend milliseconds in page faults before its first frame, so
// one pattern is made and drawn once when the server starts, and patterns are reused.
class TPatternPool {
 public:
  // Throws std::runtime_error when TurboJPEG cannot be set up.
  TPatternPool(int width, int height);

  // A pattern of its own for one client; it returns to the pool when the holder is destroyed.
  using THeld = std::unique_ptr<TTestPattern, std::function<void(TTestPattern*)>>;
  THeld take();

  // Patterns kept for reuse beyond this many are freed: a burst of clients leaves no megabytes
  // behind for good.
  static constexpr std::size_t MaxKept = 4;

 private:
  void giveBack(TTestPattern* pattern);

  int m_width;
  int m_height;
  std::mutex m_mutex;
  std::vector<std::unique_ptr<TTestPattern>> m_free;
};
