#include "video/PictureWorkspace.h"

#include <turbojpeg.h>

TPictureWorkspace::TPictureWorkspace() = default;
TPictureWorkspace::~TPictureWorkspace() = default;

void TPictureWorkspace::THandleCloser::operator()(void* handle) const {
  if (handle) tjDestroy(handle);
}

void* TPictureWorkspace::decompressor() {
  if (!m_decompressor) m_decompressor.reset(tjInitDecompress());
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
