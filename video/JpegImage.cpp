#include "video/JpegImage.h"

#include <turbojpeg.h>

#include <cstdint>
#include <limits>

#include "video/PlaneScaler.h"
#include "video/YCbCr.h"

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

// What TurboJPEG's 1/reduction scaling yields.
int reducedSide(int side, int reduction) { return (side + reduction - 1) / reduction; }

// A warning (a truncated or slightly damaged frame) still leaves a whole picture, mostly
// right; only a fatal error means there is nothing to show.
bool usable(void* handle, int rc) { return rc == 0 || tjGetErrorCode(handle) == TJERR_WARNING; }

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

int TJPEGImage::reductionFor(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight) {
  const QRect fitted = fitRect(pictureWidth, pictureHeight, areaWidth, areaHeight);
  if (fitted.isEmpty()) return 1;
  for (int reduction : {2})
    if (reducedSide(pictureWidth, reduction) >= fitted.width() &&
        reducedSide(pictureHeight, reduction) >= fitted.height())
      return reduction;
  return 1;
}

TJPEGImage::EScalePath TJPEGImage::scalePath(int pictureWidth, int pictureHeight, int areaWidth,
                                             int areaHeight) {
  const QRect fitted = fitRect(pictureWidth, pictureHeight, areaWidth, areaHeight);
  if (fitted.isEmpty()) return EScalePath::None;
  const int reduction = reductionFor(pictureWidth, pictureHeight, areaWidth, areaHeight);
  if (reducedSide(pictureWidth, reduction) == fitted.width() &&
      reducedSide(pictureHeight, reduction) == fitted.height())
    return EScalePath::Exact;
  return EScalePath::Smooth;
}

QImage TJPEGImage::decodeBgra(int reduction) const {
  if (empty()) return {};
  const int width = reducedSide(m_width, reduction);
  const int height = reducedSide(m_height, reduction);
  THandle handle = decompressor();
  if (!handle) return {};
  // BGRA in memory is Qt's RGB32 on a little-endian machine, and TurboJPEG fills the fourth
  // byte with 0xFF, which RGB32 requires.
  static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "pixel layout assumes little-endian");
  QImage picture(width, height, QImage::Format_RGB32);
  if (picture.isNull()) return {};
  // TurboJPEG picks the largest scaling factor that fits the given size: exactly 1/reduction.
  const int rc = tjDecompress2(handle.get(), m_bytes->data(),
                               static_cast<unsigned long>(m_bytes->size()), picture.bits(), width,
                               static_cast<int>(picture.bytesPerLine()), height, TJPF_BGRA, 0);
  if (!usable(handle.get(), rc)) return {};
  return picture;
}

QImage TJPEGImage::decodeFor(int areaWidth, int areaHeight) const {
  return decodeBgra(reductionFor(m_width, m_height, areaWidth, areaHeight));
}

QImage TJPEGImage::resampledPlanes(int reduction, QSize fitted) const {
  THandle handle = decompressor();
  if (!handle) return {};
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colorspace = 0;
  if (tjDecompressHeader3(handle.get(), m_bytes->data(),
                          static_cast<unsigned long>(m_bytes->size()), &width, &height,
                          &subsampling, &colorspace) != 0)
    return {};
  // CMYK and YCCK have four components: TurboJPEG converts those to BGRA itself.
  if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK || subsampling < 0) {
    QImage decoded = decodeBgra(reduction);
    if (decoded.isNull() || decoded.size() == fitted) return decoded;
    return decoded.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  const int scaledWidth = reducedSide(width, reduction);
  const int scaledHeight = reducedSide(height, reduction);
  const int planes = subsampling == TJSAMP_GRAY ? 1 : 3;
  std::vector<std::uint8_t> buffer[3];
  unsigned char* data[3] = {nullptr, nullptr, nullptr};
  int strides[3] = {0, 0, 0};
  TPlane source[3];
  for (int i = 0; i < planes; ++i) {
    const int planeWidth = tjPlaneWidth(i, scaledWidth, subsampling);
    const int planeHeight = tjPlaneHeight(i, scaledHeight, subsampling);
    if (planeWidth <= 0 || planeHeight <= 0) return {};
    buffer[i].resize(static_cast<std::size_t>(planeWidth) * planeHeight);
    data[i] = buffer[i].data();
    strides[i] = planeWidth;
    source[i] = {buffer[i].data(), planeWidth, planeWidth, planeHeight};
  }
  // The luma plane may be padded to whole blocks; only the picture's own samples count.
  source[0].width = std::min(source[0].width, scaledWidth);
  source[0].height = std::min(source[0].height, scaledHeight);
  const int rc = tjDecompressToYUVPlanes(handle.get(), m_bytes->data(),
                                         static_cast<unsigned long>(m_bytes->size()), data,
                                         scaledWidth, strides, scaledHeight, 0);
  if (!usable(handle.get(), rc)) return {};

  // Each chroma sample stands for a block of luma samples; the planes' extents in their own
  // samples say where the picture's edge falls.
  const double blockWidth = tjMCUWidth[subsampling] / 8.0;
  const double blockHeight = tjMCUHeight[subsampling] / 8.0;
  const int outWidth = fitted.width();
  const int outHeight = fitted.height();
  std::vector<std::uint8_t> scaled(static_cast<std::size_t>(outWidth) * outHeight * planes);
  std::vector<std::uint8_t> scratch;
  // A reduced decode of an odd side ends in a sample that covers half a sample's worth of
  // picture: the extent is the side divided, not the samples counted.
  const double extentWidth = static_cast<double>(width) / reduction;
  const double extentHeight = static_cast<double>(height) / reduction;
  for (int i = 0; i < planes; ++i) {
    const double across = i == 0 ? extentWidth : extentWidth / blockWidth;
    const double down = i == 0 ? extentHeight : extentHeight / blockHeight;
    TPlaneScaler::scale(source[i], across, down,
                        scaled.data() + static_cast<std::size_t>(i) * outWidth * outHeight,
                        outWidth, outWidth, outHeight, scratch);
  }
  QImage picture(outWidth, outHeight, QImage::Format_RGB32);
  if (picture.isNull()) return {};
  const std::uint8_t* y = scaled.data();
  const std::uint8_t* cb =
      planes == 3 ? y + static_cast<std::size_t>(outWidth) * outHeight : nullptr;
  const std::uint8_t* cr =
      planes == 3 ? cb + static_cast<std::size_t>(outWidth) * outHeight : nullptr;
  ycbcrToBgra(y, cb, cr, outWidth, picture.bits(), static_cast<int>(picture.bytesPerLine()),
              outWidth, outHeight);
  return picture;
}

QImage TJPEGImage::scaledFor(int areaWidth, int areaHeight) const {
  if (empty()) return {};
  const QRect fitted = fitRect(m_width, m_height, areaWidth, areaHeight);
  const int reduction = reductionFor(m_width, m_height, areaWidth, areaHeight);
  switch (scalePath(m_width, m_height, areaWidth, areaHeight)) {
    case EScalePath::None:
      return {};
    case EScalePath::Exact:
      return decodeBgra(reduction);
    case EScalePath::Smooth:
      break;
  }
  QImage decoded = decodeBgra(reduction);
  if (decoded.isNull()) return decoded;
  return decoded.scaled(fitted.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage TJPEGImage::planesFor(int areaWidth, int areaHeight) const {
  if (empty()) return {};
  const QRect fitted = fitRect(m_width, m_height, areaWidth, areaHeight);
  if (fitted.isEmpty()) return {};
  return resampledPlanes(reductionFor(m_width, m_height, areaWidth, areaHeight), fitted.size());
}
