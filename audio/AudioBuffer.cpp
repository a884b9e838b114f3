#include "audio/AudioBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "base/LogSink.h"

TAudioBuffer::~TAudioBuffer() { std::free(m_data); }

void TAudioBuffer::Clear() {
  std::lock_guard lock(m_mutex);
  std::free(m_data);
  m_data = nullptr;
  m_size = 0;
}

void TAudioBuffer::setBound(std::size_t maxBytes, std::size_t blockAlign) {
  std::lock_guard lock(m_mutex);
  m_maxBytes = maxBytes;
  m_blockAlign = blockAlign == 0 ? 1 : blockAlign;
  m_dropping = false;
}

char* TAudioBuffer::BeginAppend(std::size_t n) {
  m_mutex.lock();
  // realloc of 0 bytes may free the block; keep at least one byte.
  void* grown = std::realloc(m_data, m_size + n == 0 ? 1 : m_size + n);
  if (grown == nullptr) {
    m_mutex.unlock();
    throw std::bad_alloc();
  }
  m_data = static_cast<char*>(grown);
  m_appending = n;
  return m_data + m_size;
}

void TAudioBuffer::EndAppend(std::size_t filled, std::size_t queuedElsewhere) {
  m_size += filled < m_appending ? filled : m_appending;
  m_appending = 0;
  const bool logIt = enforceBound(queuedElsewhere);
  m_mutex.unlock();
  if (logIt) debugLog(DropLogText);
}

bool TAudioBuffer::TakeAll(void*& data, std::size_t& size, std::size_t queuedElsewhere) {
  bool logIt = false;
  bool taken = false;
  {
    std::lock_guard lock(m_mutex);
    logIt = enforceBound(queuedElsewhere);
    if (m_size == 0) {
      // An empty block would read as the end of the data to the player.
      std::free(m_data);
      m_data = nullptr;
    } else {
      data = m_data;
      size = m_size;
      m_data = nullptr;
      m_size = 0;
      taken = true;
    }
  }
  if (logIt) debugLog(DropLogText);
  return taken;
}

std::size_t TAudioBuffer::size() const {
  std::lock_guard lock(m_mutex);
  return m_size;
}

std::uint64_t TAudioBuffer::droppedBytes() const {
  std::lock_guard lock(m_mutex);
  return m_dropped;
}

bool TAudioBuffer::enforceBound(std::size_t queuedElsewhere) {
  if (m_maxBytes == 0) return false;
  const std::size_t total = m_size + queuedElsewhere;
  if (total <= m_maxBytes) {
    // Back to half the bound: the delay has really gone, and a later excess is news.
    if (total <= m_maxBytes / 2) m_dropping = false;
    return false;
  }
  std::size_t drop = total - m_maxBytes;
  drop = (drop + m_blockAlign - 1) / m_blockAlign * m_blockAlign;
  if (drop > m_size) drop = m_size;
  if (drop == 0) return false;
  std::memmove(m_data, m_data + drop, m_size - drop);
  m_size -= drop;
  m_dropped += drop;
  const bool first = !m_dropping;
  m_dropping = true;
  return first;
}
