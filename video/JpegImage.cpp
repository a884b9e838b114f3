#include "video/JpegImage.h"

#include <turbojpeg.h>

#include <cstdint>
#include <limits>

#include "video/PictureWorkspace.h"

namespace {

// TurboJPEG takes the size as unsigned long; a frame never comes near that limit, but a
// vector could in theory.
bool sizeFits(const std::vector<unsigned char>& bytes) {
  return !bytes.empty() && bytes.size() <= std::numeric_limits<unsigned long>::max();
}

// What TurboJPEG's 1/reduction scaling yields.
int reducedSide(int side, int reduction) { return (side + reduction - 1) / reduction; }

// Measured against ffmpeg's lanczos on camera-like frames: reducing a plane by 1.5 or more in
// both directions, the widened triangle's area-like average stays above 41 dB at half the
// cubic's taps; enlarging or reducing less, only the sharper cubic stays above 40 dB.
EPlaneFilter filterFor(double stepAcross, double stepDown) {
  return std::min(stepAcross, stepDown) >= 1.5 ? EPlaneFilter::Triangle : EPlaneFilter::CatmullRom;
}

// A warning (a truncated or slightly damaged frame) still leaves a whole picture, mostly
// right; only a fatal error means there is nothing to show.
bool usable(void* handle, int rc) { return rc == 0 || tjGetErrorCode(handle) == TJERR_WARNING; }

}  // namespace

bool TJPEGImage::load(TBytes bytes) {
  clear();
  if (!bytes || !sizeFits(*bytes)) return false;
  TDecompressor handle = makeDecompressor();
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
  m_subsampling = subsampling;
  return true;
}

void TJPEGImage::clear() {
  m_bytes.reset();
  m_width = 0;
  m_height = 0;
  m_subsampling = 0;
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

TJPEGImage::EScalePath TJPEGImage::scalePath(int pictureWidth, int pictureHeight, int subsampling,
                                             int areaWidth, int areaHeight) {
  const QRect fitted = fitRect(pictureWidth, pictureHeight, areaWidth, areaHeight);
  if (fitted.isEmpty()) return EScalePath::None;
  const int reduction = reductionFor(pictureWidth, pictureHeight, areaWidth, areaHeight);
  if (reducedSide(pictureWidth, reduction) == fitted.width() &&
      reducedSide(pictureHeight, reduction) == fitted.height())
    return EScalePath::Exact;
  if (reduction == 2 && subsampling == TJSAMP_420) return EScalePath::Pixels;
  return EScalePath::Planes;
}

TJPEGImage::EScalePath TJPEGImage::scalePathFor(int areaWidth, int areaHeight) const {
  if (empty()) return EScalePath::None;
  return scalePath(m_width, m_height, m_subsampling, areaWidth, areaHeight);
}

QImage TJPEGImage::decodeBgra(int reduction, void* handle) const {
  if (empty()) return {};
  const int width = reducedSide(m_width, reduction);
  const int height = reducedSide(m_height, reduction);
  TDecompressor own;
  if (!handle) {
    own = makeDecompressor();
    handle = own.get();
  }
  if (!handle) return {};
  // BGRA in memory is Qt's RGB32 on a little-endian machine, and TurboJPEG fills the fourth
  // byte with 0xFF, which RGB32 requires.
  static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "pixel layout assumes little-endian");
  QImage picture(width, height, QImage::Format_RGB32);
  if (picture.isNull()) return {};
  // TurboJPEG picks the largest scaling factor that fits the given size: exactly 1/reduction.
  const int rc = tjDecompress2(handle, m_bytes->data(), static_cast<unsigned long>(m_bytes->size()),
                               picture.bits(), width, static_cast<int>(picture.bytesPerLine()),
                               height, TJPF_BGRA, 0);
  if (!usable(handle, rc)) return {};
  return picture;
}

QImage TJPEGImage::decodeFor(int areaWidth, int areaHeight) const {
  return decodeBgra(reductionFor(m_width, m_height, areaWidth, areaHeight));
}

int TJPEGImage::planeReductionFor(int pictureWidth, int pictureHeight, int subsampling,
                                  QSize fitted) {
  // Half size only when every plane still covers the fitted size: a chroma plane scaled up
  // has lost detail that the full decode keeps (about 3 dB at 1280x720 4:2:0).
  const bool grey = subsampling == TJSAMP_GRAY;
  for (int i = 0; i < (grey ? 1 : 3); ++i) {
    const double across = i == 0 ? 2.0 : 2.0 * tjMCUWidth[subsampling] / 8;
    const double down = i == 0 ? 2.0 : 2.0 * tjMCUHeight[subsampling] / 8;
    if (pictureWidth / across < fitted.width() || pictureHeight / down < fitted.height()) return 1;
  }
  return 2;
}

QImage TJPEGImage::resampledPlanes(QSize fitted, TPictureWorkspace& workspace) const {
  void* handle = workspace.decompressor();
  if (!handle) return {};
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colorspace = 0;
  if (tjDecompressHeader3(handle, m_bytes->data(), static_cast<unsigned long>(m_bytes->size()),
                          &width, &height, &subsampling, &colorspace) != 0)
    return {};
  // CMYK and YCCK have four components: TurboJPEG converts those to BGRA itself.
  if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK || subsampling < 0) {
    QImage decoded =
        decodeBgra(reductionFor(width, height, fitted.width(), fitted.height()), handle);
    if (decoded.isNull() || decoded.size() == fitted) return decoded;
    return decoded.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  const int reduction = planeReductionFor(width, height, subsampling, fitted);
  const int scaledWidth = reducedSide(width, reduction);
  const int scaledHeight = reducedSide(height, reduction);
  const int planes = subsampling == TJSAMP_GRAY ? 1 : 3;
  const int outWidth = fitted.width();
  const int outHeight = fitted.height();
  const std::size_t outPlane = static_cast<std::size_t>(outWidth) * outHeight;
  // One buffer: the decoded planes, then the planes at the shown size.
  std::size_t offsets[3] = {0, 0, 0};
  std::size_t total = 0;
  int strides[3] = {0, 0, 0};
  int heights[3] = {0, 0, 0};
  for (int i = 0; i < planes; ++i) {
    strides[i] = tjPlaneWidth(i, scaledWidth, subsampling);
    heights[i] = tjPlaneHeight(i, scaledHeight, subsampling);
    if (strides[i] <= 0 || heights[i] <= 0) return {};
    offsets[i] = total;
    total += static_cast<std::size_t>(strides[i]) * heights[i];
  }
  std::uint8_t* buffer = workspace.buffer(total + outPlane * planes);
  unsigned char* data[3] = {nullptr, nullptr, nullptr};
  for (int i = 0; i < planes; ++i) data[i] = buffer + offsets[i];
  const int rc =
      tjDecompressToYUVPlanes(handle, m_bytes->data(), static_cast<unsigned long>(m_bytes->size()),
                              data, scaledWidth, strides, scaledHeight, 0);
  if (!usable(handle, rc)) return {};

  // Each chroma sample stands for a block of luma samples; the planes' extents in their own
  // samples say where the picture's edge falls. A reduced decode of an odd side ends in a
  // sample that covers half a sample's worth of picture: the extent is the side divided, not
  // the samples counted.
  const double blockWidth = tjMCUWidth[subsampling] / 8.0;
  const double blockHeight = tjMCUHeight[subsampling] / 8.0;
  const double extentWidth = static_cast<double>(width) / reduction;
  const double extentHeight = static_cast<double>(height) / reduction;
  const unsigned char* shown[3] = {nullptr, nullptr, nullptr};
  int shownStrides[3] = {outWidth, outWidth, outWidth};
  for (int i = 0; i < planes; ++i) {
    std::uint8_t* out = buffer + total + outPlane * static_cast<std::size_t>(i);
    shown[i] = out;
    const double across = i == 0 ? extentWidth : extentWidth / blockWidth;
    const double down = i == 0 ? extentHeight : extentHeight / blockHeight;
    // The luma plane is padded to whole blocks; only the picture's own samples count.
    const TPlane source{data[i], strides[i],
                        i == 0 ? std::min(strides[i], scaledWidth) : strides[i],
                        i == 0 ? std::min(heights[i], scaledHeight) : heights[i]};
    // Full-resolution chroma carries the sharp colour edges of text and overlays, which the
    // triangle's average softens (640x480 4:4:4: 38 dB against ffmpeg's lanczos, 42 with
    // the cubic).
    const EPlaneFilter filter = i > 0 && subsampling == TJSAMP_444
                                    ? EPlaneFilter::CatmullRom
                                    : filterFor(across / outWidth, down / outHeight);
    workspace.scaler().scale(source, across, down, filter, out, outWidth, outWidth, outHeight);
  }
  QImage picture(outWidth, outHeight, QImage::Format_RGB32);
  if (picture.isNull()) return {};
  // TurboJPEG's own (SIMD) colour conversion, on planes that are now all of the shown size.
  if (tjDecodeYUVPlanes(handle, shown, shownStrides, planes == 1 ? TJSAMP_GRAY : TJSAMP_444,
                        picture.bits(), outWidth, static_cast<int>(picture.bytesPerLine()),
                        outHeight, TJPF_BGRA, 0) != 0)
    return {};
  return picture;
}

QImage TJPEGImage::scaledFor(int areaWidth, int areaHeight) const {
  TPictureWorkspace workspace;
  return scaledFor(areaWidth, areaHeight, workspace);
}

QImage TJPEGImage::scaledFor(int areaWidth, int areaHeight, TPictureWorkspace& workspace) const {
  if (empty()) return {};
  const QRect fitted = fitRect(m_width, m_height, areaWidth, areaHeight);
  const int reduction = reductionFor(m_width, m_height, areaWidth, areaHeight);
  switch (scalePathFor(areaWidth, areaHeight)) {
    case EScalePath::None:
      return {};
    case EScalePath::Exact:
      return decodeBgra(reduction, workspace.decompressor());
    case EScalePath::Pixels: {
      const QImage decoded = decodeBgra(reduction, workspace.decompressor());
      if (decoded.isNull()) return decoded;
      QImage picture(fitted.size(), QImage::Format_RGB32);
      if (picture.isNull()) return {};
      // Our scaler rather than Qt's smooth scaling, which hands a picture this large to its
      // thread pool and costs more CPU in all. The cubic, whatever the reduction: on these
      // pixels the triangle's average leaves 1280x720 at 40 dB against ffmpeg's lanczos, the
      // cubic at 45 (Qt's at 42).
      const TPlane source{decoded.constBits(), static_cast<int>(decoded.bytesPerLine()),
                          decoded.width(), decoded.height()};
      workspace.scaler().scalePixels(source, EPlaneFilter::CatmullRom, picture.bits(),
                                     static_cast<int>(picture.bytesPerLine()), fitted.width(),
                                     fitted.height());
      return picture;
    }
    case EScalePath::Planes:
      break;
  }
  return resampledPlanes(fitted.size(), workspace);
}

QImage TJPEGImage::planesFor(int areaWidth, int areaHeight) const {
  if (empty()) return {};
  const QRect fitted = fitRect(m_width, m_height, areaWidth, areaHeight);
  if (fitted.isEmpty()) return {};
  TPictureWorkspace workspace;
  return resampledPlanes(fitted.size(), workspace);
}
