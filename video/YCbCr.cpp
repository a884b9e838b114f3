#include "video/YCbCr.h"

#include <algorithm>

namespace {

// The matrix in 1/65536ths, rounded as libjpeg rounds its own.
constexpr int CrToR = 91881;   // 1.402
constexpr int CbToG = 22554;   // 0.344136
constexpr int CrToG = 46802;   // 0.714136
constexpr int CbToB = 116130;  // 1.772
constexpr int Half = 1 << 15;

inline std::uint32_t clamped(int value) {
  return static_cast<std::uint32_t>(std::clamp(value, 0, 255));
}

}  // namespace

void ycbcrToBgra(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                 int planeStride, std::uint8_t* output, int outputStride, int width, int height) {
  for (int row = 0; row < height; ++row) {
    const std::uint8_t* yRow = y + static_cast<std::ptrdiff_t>(row) * planeStride;
    auto* out =
        reinterpret_cast<std::uint32_t*>(output + static_cast<std::ptrdiff_t>(row) * outputStride);
    if (!cb || !cr) {
      for (int x = 0; x < width; ++x) out[x] = 0xFF000000u | yRow[x] * 0x010101u;
      continue;
    }
    const std::uint8_t* cbRow = cb + static_cast<std::ptrdiff_t>(row) * planeStride;
    const std::uint8_t* crRow = cr + static_cast<std::ptrdiff_t>(row) * planeStride;
    for (int x = 0; x < width; ++x) {
      const int luma = yRow[x];
      const int blue = cbRow[x] - 128;
      const int red = crRow[x] - 128;
      const std::uint32_t r = clamped(luma + ((CrToR * red + Half) >> 16));
      const std::uint32_t g = clamped(luma - ((CbToG * blue + CrToG * red - Half) >> 16));
      const std::uint32_t b = clamped(luma + ((CbToB * blue + Half) >> 16));
      out[x] = 0xFF000000u | r << 16 | g << 8 | b;
    }
  }
}
