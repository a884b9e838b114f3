#include "platform/Recorder.h"

#include <algorithm>

void TRecorderRegistry::add(TRecorderBackend backend) {
  // A second registration under a name replaces the first.
  std::erase_if(m_backends, [&](const TRecorderBackend& b) { return b.name == backend.name; });
  m_backends.push_back(std::move(backend));
}

std::unique_ptr<IRecorder> TRecorderRegistry::create(const std::string& name) const {
  const TRecorderBackend* chosen = nullptr;
  for (const TRecorderBackend& b : m_backends) {
    if (!name.empty()) {
      if (b.name == name) chosen = &b;
    } else if (chosen == nullptr || b.priority > chosen->priority) {
      chosen = &b;
    }
  }
  if (chosen == nullptr || !chosen->create) return nullptr;
  return chosen->create();
}

std::vector<std::string> TRecorderRegistry::names() const {
  std::vector<std::string> out;
  for (const TRecorderBackend& b : m_backends) out.push_back(b.name);
  return out;
}
