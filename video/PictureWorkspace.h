#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "video/PlaneScaler.h"

// A TurboJPEG decompressor, destroyed with its owner.
struct TDecompressorCloser {
  void operator()(void* handle) const;
};
using TDecompressor = std::unique_ptr<void, TDecompressorCloser>;
// Null when TurboJPEG cannot make one.
TDecompressor makeDecompressor();

// What making a shown picture from a frame keeps for the next frame: the JPEG decompressor,
// the plane buffer and the plane scaler with its filter tables. The video area keeps one, so
// that a stream of frames of one size allocates nothing and computes no table after its
// first frame. Not thread-safe: one user at a time.
class TPictureWorkspace {
 public:
  TPictureWorkspace();
  ~TPictureWorkspace();
  TPictureWorkspace(const TPictureWorkspace&) = delete;
  TPictureWorkspace& operator=(const TPictureWorkspace&) = delete;

  // TurboJPEG's decompressor, made at the first call; null when TurboJPEG could not make one.
  void* decompressor();
  // At least `bytes` bytes, left as the last user left them; valid until the next call.
  std::uint8_t* buffer(std::size_t bytes);
  TPlaneScaler& scaler() { return m_scaler; }

 private:
  TDecompressor m_decompressor;
  std::unique_ptr<std::uint8_t[]> m_buffer;
  std::size_t m_bufferSize = 0;
  TPlaneScaler m_scaler;
};
