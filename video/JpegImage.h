#pragma once

#include <QImage>
#include <QRect>
#include <memory>
#include <vector>

// One video frame as the panel sent it: the compressed JPEG bytes, shared and never copied,
// plus the picture size read from the header. Pixels are produced only when the frame is
// painted, so frames that arrive faster than the screen paints cost no decoding at all.
//
// A plain value: copies share the same bytes. Not thread-safe; used on the UI thread (the
// bytes themselves are immutable and may be shared with any thread).
class TPictureWorkspace;

class TJPEGImage {
 public:
  using TBytes = std::shared_ptr<const std::vector<unsigned char>>;

  // Largest width and height accepted from a header: a few hundred bytes must not be able to
  // ask for gigabytes of pixels.
  static constexpr int MaxSide = 8192;

  TJPEGImage() = default;

  // Takes a share of the bytes and reads the header only. False, and the image left empty,
  // when the header cannot be read or announces a side above MaxSide.
  bool load(TBytes bytes);
  void clear();

  bool empty() const { return !m_bytes; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  // The frame's bytes exactly as received (null when empty).
  const TBytes& bytes() const { return m_bytes; }

  // Decodes to BGRA for an area of the given size: at half size when the half-size picture
  // still covers the area's fitted size, at full size otherwise. Other scale factors are not
  // used: 3/8, 5/8, 7/8 cost more than a full decode, and TurboJPEG's 1/4 and 1/8 keep so few
  // coefficients per block that the picture loses 10 dB against a full decode scaled down. A
  // null QImage when empty or undecodable.
  QImage decodeFor(int areaWidth, int areaHeight) const;

  // The picture at fitRect's size for the area; draw it at fitRect(...).topLeft() inside the
  // area. Null when the frame does not decode. Takes whichever way scalePath picks.
  QImage scaledFor(int areaWidth, int areaHeight) const;
  // The same, keeping the decompressor, buffers and filter tables in `workspace` for the next
  // frame (one per video area).
  QImage scaledFor(int areaWidth, int areaHeight, TPictureWorkspace& workspace) const;

  // The planes' way to the fitted picture, whatever the sizes: TurboJPEG's Y, Cb and Cr planes
  // (at half size when every plane still covers the fitted size) are resampled to the fitted
  // size and converted to BGRA there, so colour conversion and chroma upsampling run on the
  // shown pixels only. CMYK and YCCK frames are decoded to BGRA and scaled by Qt.
  QImage planesFor(int areaWidth, int areaHeight) const;

  // How scaledFor makes the picture:
  //  Exact:  the reduced decode already has the fitted size; TurboJPEG converts it to BGRA.
  //  Pixels: 4:2:0 at half size: TurboJPEG's BGRA decode, then the plane scaler's filters on
  //          the pixels. A reduced BGRA decode keeps 4:2:0 chroma at full resolution
  //          (TurboJPEG decodes it at twice the luma's scale), which reduced planes cannot.
  //  Planes: planesFor.
  // `subsampling` is TurboJPEG's TJSAMP_* value of the frame.
  enum class EScalePath { None, Exact, Pixels, Planes };
  static EScalePath scalePath(int pictureWidth, int pictureHeight, int subsampling, int areaWidth,
                              int areaHeight);
  // The same for this frame (None when empty).
  EScalePath scalePathFor(int areaWidth, int areaHeight) const;

  // The denominator (1 or 2) of the decode's scale for the area.
  static int reductionFor(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight);

  // The largest rectangle with the picture's aspect that fits the area, sizes cut down to
  // whole pixels, centred with the offsets halved and rounded down. Empty for empty sizes.
  static QRect fitRect(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight);

 private:
  // `handle`: a TurboJPEG decompressor to use, or null for one of its own.
  QImage decodeBgra(int reduction, void* handle = nullptr) const;
  QImage resampledPlanes(QSize fitted, TPictureWorkspace& workspace) const;
  // The denominator (1 or 2) of the planes' decode scale.
  static int planeReductionFor(int pictureWidth, int pictureHeight, int subsampling, QSize fitted);

  TBytes m_bytes;
  int m_width = 0;
  int m_height = 0;
  int m_subsampling = 0;
};
