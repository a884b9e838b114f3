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

  // Decodes for an area of the given size: at half size when the half-size picture still
  // covers the area's fitted size, at full size otherwise. Other scale factors are not used
  // (3/8, 5/8, 7/8 cost more than a full decode). A null QImage when empty or undecodable.
  QImage decodeFor(int areaWidth, int areaHeight) const;

  // decodeFor, then scaled smoothly to fitRect's size for the area; draw it at
  // fitRect(...).topLeft() inside the area. Null when the frame does not decode.
  QImage scaledFor(int areaWidth, int areaHeight) const;

  // The largest rectangle with the picture's aspect that fits the area, sizes cut down to
  // whole pixels, centred with the offsets halved and rounded down. Empty for empty sizes.
  static QRect fitRect(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight);

  // True when decoding at half size still gives at least fitRect's size for the area.
  static bool halfSizeCovers(int pictureWidth, int pictureHeight, int areaWidth, int areaHeight);

 private:
  TBytes m_bytes;
  int m_width = 0;
  int m_height = 0;
};
