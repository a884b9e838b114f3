#include "video/PictureWorkspace.h"

#include <turbojpeg.h>

TPictureWorkspace::TPictureWorkspace() = default;
TPictureWorkspace::~TPictureWorkspace() = default;

void TDecompressorCloser::operator()(void* handle) const {
  if (handle) tjDestroy(handle);
}

TDecompressor makeDecompressor() { return TDecompressor(tjInitDecompress()); }

void* TPictureWorkspace::decompressor() {
  if (!m_decompressor) m_decompressor = makeDecompressor();
  return m_decompressor.get();
}

std::uint8_t* TPictureWorkspace::buffer(std::size_t bytes) {
  // Not zeroed: every byte is written before it is read, and zeroing a fresh buffer costs
  // page faults on every frame.
  if (bytes > m_bufferSize) {
    m_buffer.reset(new std::uint8_t[bytes]);
    m_bufferSize = bytes;
  }
  return m_buffer.get();
}
