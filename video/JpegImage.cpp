#include "video/JpegImage.h"

#include <turbojpeg.h>

#include <cstdint>
#include <limits>

namespace {

struct THandleCloser {
  void operator()(void* handle) const {
    if (handle) tjDestroy(handle);
  }
};
using THandle = std::unique_ptr<void, THandleCloser>;

THandle decompressor() { return THandle(tjInitDecompress()); }

// TurboJPEG takes the size as unsigned long; a frame never comes near that limit, but a
// vector could in theory.
bool sizeFits(const std::vector<unsigned char>& bytes) {
  return !bytes.empty() && bytes.size() <= std::numeric_limits<unsigned long>::max();
}

int halfOf(int side) { return (side + 1) / 2; }  // what TurboJPEG's 1/2 scaling yields

}  // namespace

bool TJPEGImage::load(TBytes bytes) {
  clear();
  if (!bytes || !sizeFits(*bytes)) return false;
  THandle handle = decompressor();
  if (!handle) return false;
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colorspace = 0;
  if (tjDecompressHeader3(handle.get(), bytes->data(), static_cast<unsigned long>(bytes->size()),
                          &width, &height, &subsampling, &colorspace) != 0)
    return false;
  if (width <= 0 || height <= 0 || width > MaxSide || height > MaxSide) return false;
  m_bytes = std::move(bytes);
  m_width = width;
  m_height = height;
  return true;
}

void TJPEGImage::clear() {
  m_bytes.reset();
  m_width = 0;
  m_height = 0;
}

QRect TJPEGImage::fitRect(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return {};
  const std::int64_t pw = pictureWidth;
  const std::int64_t ph = pictureHeight;
  std::int64_t w = areaWidth;
  std::int64_t h = areaHeight;
  // Compare the aspects without rounding: the side that limits keeps the area's size.
  if (pw * areaHeight > ph * areaWidth)
    h = ph * areaWidth / pw;
  else
    w = pw * areaHeight / ph;
  if (w <= 0 || h <= 0) return {};
  return QRect(static_cast<int>((areaWidth - w) / 2), static_cast<int>((areaHeight - h) / 2),
               static_cast<int>(w), static_cast<int>(h));
}

bool TJPEGImage::halfSizeCovers(int pictureWidth, int pictureHeight, int areaWidth,
                                int areaHeight) {
  const QRect fitted = fitRect(pictureWidth, pictureHeight, areaWidth, areaHeight);
  if (fitted.isEmpty()) return false;
  return halfOf(pictureWidth) >= fitted.width() && halfOf(pictureHeight) >= fitted.height();
}

QImage TJPEGImage::decodeFor(int areaWidth, int areaHeight) const {
  if (empty()) return {};
  const bool half = halfSizeCovers(m_width, m_height, areaWidth, areaHeight);
  const int width = half ? halfOf(m_width) : m_width;
  const int height = half ? halfOf(m_height) : m_height;
  THandle handle = decompressor();
  if (!handle) return {};
  // BGRA in memory is Qt's RGB32 on a little-endian machine, and TurboJPEG fills the fourth
  // byte with 0xFF, which RGB32 requires.
  static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "pixel layout assumes little-endian");
  QImage picture(width, height, QImage::Format_RGB32);
  if (picture.isNull()) return {};
  // TurboJPEG picks the largest scaling factor that fits the given size: exactly 1/2 or 1/1.
  const int rc = tjDecompress2(handle.get(), m_bytes->data(),
                               static_cast<unsigned long>(m_bytes->size()), picture.bits(), width,
                               static_cast<int>(picture.bytesPerLine()), height, TJPF_BGRA, 0);
  // A warning (a truncated or slightly damaged frame) still leaves a whole picture, mostly
  // right; only a fatal error means there is nothing to show.
  if (rc != 0 && tjGetErrorCode(handle.get()) != TJERR_WARNING) return {};
  return picture;
}

QImage TJPEGImage::scaledFor(int areaWidth, int areaHeight) const {
  const QRect fitted = fitRect(m_width, m_height, areaWidth, areaHeight);
  if (fitted.isEmpty()) return {};
  QImage decoded = decodeFor(areaWidth, areaHeight);
  if (decoded.isNull() || decoded.size() == fitted.size()) return decoded;
  return decoded.scaled(fitted.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
