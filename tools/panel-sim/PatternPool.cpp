#include "tools/panel-sim/PatternPool.h"

#include <chrono>

TPatternPool::TPatternPool(int width, int height) : m_width(width), m_height(height) {
  auto first = std::make_unique<TTestPattern>(width, height);
  // Drawing and encoding one frame touches every page the frames will use.
  first->frame(0, std::chrono::system_clock::now());
  m_free.push_back(std::move(first));
}

TPatternPool::THeld TPatternPool::take() {
  std::unique_ptr<TTestPattern> pattern;
  {
    std::lock_guard lock(m_mutex);
    if (!m_free.empty()) {
      pattern = std::move(m_free.back());
      m_free.pop_back();
    }
  }
  if (!pattern) pattern = std::make_unique<TTestPattern>(m_width, m_height);
  return THeld(pattern.release(), [this](TTestPattern* p) { giveBack(p); });
}

void TPatternPool::giveBack(TTestPattern* pattern) {
  std::unique_ptr<TTestPattern> owned(pattern);
  std::lock_guard lock(m_mutex);
  if (m_free.size() < MaxKept) m_free.push_back(std::move(owned));
}
