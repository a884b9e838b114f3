#pragma once

#include <cstdint>

// JPEG's YCbCr (full range, the BT.601 matrix) to BGRA in memory with alpha 255, which is
// Qt's RGB32 on a little-endian machine. Three planes of the same size; rows `planeStride`
// apart in each plane, `outputStride` bytes apart in the output. Cb and Cr null: grey.
void ycbcrToBgra(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
                 int planeStride, std::uint8_t* output, int outputStride, int width, int height);
