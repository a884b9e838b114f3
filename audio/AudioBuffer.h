#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

// The byte FIFO between the audio socket (producer, UI thread) and the live player (consumer,
// the player's callback context, which may be a thread of its own). One contiguous block grown
// with std::realloc; every operation takes the FIFO's own lock (a std::mutex, so that
// ThreadSanitizer sees it).
//
// Bound: what waits to be played, this FIFO plus what the caller says is already queued
// elsewhere (on the device), is kept within maxBytes once setBound was called. Beyond it the
// oldest bytes of the FIFO go, in whole block alignments: a panel whose clock runs fast must
// not build up seconds of delay. One log line per episode of dropping.
class TAudioBuffer {
 public:
  TAudioBuffer() = default;
  ~TAudioBuffer();
  TAudioBuffer(const TAudioBuffer&) = delete;
  TAudioBuffer& operator=(const TAudioBuffer&) = delete;

  // Frees the block; the FIFO is empty.
  void Clear();

  // maxBytes 0: no bound. blockAlign: the playing format's, at least 1.
  void setBound(std::size_t maxBytes, std::size_t blockAlign);

  // Takes the lock and keeps it until EndAppend; grows the block by n bytes and returns the
  // first new byte. The caller fills at most n bytes there and must call EndAppend, also when
  // its read failed. Throws std::bad_alloc (without the lock) when the block cannot grow.
  char* BeginAppend(std::size_t n);
  // filled: how many of the n bytes were written (the rest is given back). queuedElsewhere:
  // bytes already waiting on the device, for the bound. Releases the lock.
  void EndAppend(std::size_t filled, std::size_t queuedElsewhere = 0);

  // Hands the whole content to the caller, who owns it from now on and frees it with
  // std::free; the FIFO is left empty. False (outputs untouched) when there is nothing. With a
  // bound, the oldest bytes beyond what keeps queuedElsewhere + size within it are dropped
  // first.
  bool TakeAll(void*& data, std::size_t& size, std::size_t queuedElsewhere = 0);

  std::size_t size() const;
  // Every byte dropped by the bound since creation.
  std::uint64_t droppedBytes() const;

  static constexpr const char* DropLogText =
      "Audio more than one second behind, oldest bytes dropped";

 private:
  // Under the lock: drops the oldest bytes so that the content plus queuedElsewhere fits the
  // bound; returns true when the log line of a new episode is due.
  bool enforceBound(std::size_t queuedElsewhere);

  mutable std::mutex m_mutex;
  char* m_data = nullptr;
  std::size_t m_size = 0;
  std::size_t m_appending = 0;  // bytes reserved by BeginAppend, until EndAppend
  std::size_t m_maxBytes = 0;
  std::size_t m_blockAlign = 1;
  bool m_dropping = false;  // inside an episode of dropping
  std::uint64_t m_dropped = 0;
};
