#include "video/PlaneScaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#define OSTREL_PLANE_SSE2 1
#else
#define OSTREL_PLANE_SSE2 0
#endif

namespace {

constexpr int WeightBits = TPlaneAxis::WeightBits;
using std::size_t;
constexpr std::int32_t Half = 1 << (WeightBits - 1);

double triangle(double x) { return x < 1 ? 1 - x : 0; }

// Keys' cubic convolution (a = -0.5, Catmull-Rom): exact on straight ramps.
double catmullRom(double x) {
  if (x < 1) return (1.5 * x - 2.5) * x * x + 1;
  if (x < 2) return ((-0.5 * x + 2.5) * x - 4) * x + 2;
  return 0;
}

double radiusOf(EPlaneFilter filter) { return filter == EPlaneFilter::Triangle ? 1 : 2; }

double kernel(EPlaneFilter filter, double x) {
  return filter == EPlaneFilter::Triangle ? triangle(x) : catmullRom(x);
}

std::uint8_t clampByte(std::int32_t value) {
  return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

// One output row of the vertical pass: `taps` source rows from `first`, `stride` bytes apart.
void verticalRowPortable(const std::uint8_t* first, int stride, const std::int16_t* weight,
                         int taps, int width, std::uint8_t* out) {
  constexpr int Chunk = 256;
  std::int32_t sum[Chunk];
  for (int x0 = 0; x0 < width; x0 += Chunk) {
    const int n = std::min(Chunk, width - x0);
    std::fill(sum, sum + n, Half);
    for (int k = 0; k < taps; ++k) {
      const std::int32_t w = weight[k];
      const std::uint8_t* row = first + static_cast<std::ptrdiff_t>(k) * stride + x0;
      for (int x = 0; x < n; ++x) sum[x] += w * row[x];
    }
    for (int x = 0; x < n; ++x) out[x0 + x] = clampByte(sum[x] >> WeightBits);
  }
}

void horizontalRowPortable(const std::uint8_t* row, const TPlaneAxis& across, int outputWidth,
                           std::uint8_t* out) {
  for (int x = 0; x < outputWidth; ++x) {
    const std::uint8_t* in = row + across.start[static_cast<std::size_t>(x)];
    const std::int16_t* w = across.weight.data() + static_cast<std::ptrdiff_t>(x) * across.taps;
    std::int32_t sum = Half;
    for (int k = 0; k < across.taps; ++k) sum += w[k] * in[k];
    out[x] = clampByte(sum >> WeightBits);
  }
}

// dst's column y is src's row y, for 32-bit pixels: widths and heights count pixels.
void transposePixelsPortable(const std::uint8_t* src, int srcStride, std::uint8_t* dst,
                             int dstStride, int width, int height) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      std::memcpy(dst + static_cast<std::ptrdiff_t>(x) * dstStride + 4 * y,
                  src + static_cast<std::ptrdiff_t>(y) * srcStride + 4 * x, 4);
}

#if OSTREL_PLANE_SSE2

// Four by four blocks: two rounds of interleaving transpose a block.
void transposePixelsSse2(const std::uint8_t* src, int srcStride, std::uint8_t* dst, int dstStride,
                         int width, int height) {
  int y = 0;
  for (; y + 4 <= height; y += 4) {
    const std::uint8_t* row = src + static_cast<std::ptrdiff_t>(y) * srcStride;
    int x = 0;
    for (; x + 4 <= width; x += 4) {
      __m128i r[4];
      for (int i = 0; i < 4; ++i)
        r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(
            row + static_cast<std::ptrdiff_t>(i) * srcStride + 4 * x));
      const __m128i ab01 = _mm_unpacklo_epi32(r[0], r[1]);
      const __m128i cd01 = _mm_unpacklo_epi32(r[2], r[3]);
      const __m128i ab23 = _mm_unpackhi_epi32(r[0], r[1]);
      const __m128i cd23 = _mm_unpackhi_epi32(r[2], r[3]);
      const __m128i out[4] = {_mm_unpacklo_epi64(ab01, cd01), _mm_unpackhi_epi64(ab01, cd01),
                              _mm_unpacklo_epi64(ab23, cd23), _mm_unpackhi_epi64(ab23, cd23)};
      for (int i = 0; i < 4; ++i)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(
                             dst + static_cast<std::ptrdiff_t>(x + i) * dstStride + 4 * y),
                         out[i]);
    }
    if (x < width)
      transposePixelsPortable(row + 4 * x, srcStride,
                              dst + static_cast<std::ptrdiff_t>(x) * dstStride + 4 * y, dstStride,
                              width - x, 4);
  }
  if (y < height)
    transposePixelsPortable(src + static_cast<std::ptrdiff_t>(y) * srcStride, srcStride,
                            dst + 4 * y, dstStride, width, height - y);
}

// Taps k and k + 1 as one multiply-add operand: an odd last tap pairs with weight zero.
inline int weightPair(const std::int16_t* weight, int k, int taps) {
  const auto low = static_cast<std::uint16_t>(weight[k]);
  const auto high = k + 1 < taps ? static_cast<std::uint16_t>(weight[k + 1]) : std::uint16_t{0};
  return static_cast<int>(low | std::uint32_t{high} << 16);
}

// Sixteen pixels from x; the taps in pairs, each pair one multiply-add on interleaved rows.
inline void verticalSse2(const std::uint8_t* first, int stride, const std::int16_t* weight,
                         int taps, int x, std::uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i half = _mm_set1_epi32(Half);
  __m128i sum0 = half, sum1 = half, sum2 = half, sum3 = half;
  for (int k = 0; k < taps; k += 2) {
    const std::uint8_t* rowA = first + static_cast<std::ptrdiff_t>(k) * stride + x;
    const std::uint8_t* rowB = k + 1 < taps ? rowA + stride : rowA;
    const __m128i weights = _mm_set1_epi32(weightPair(weight, k, taps));
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rowA));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rowB));
    const __m128i lo = _mm_unpacklo_epi8(a, b);
    const __m128i hi = _mm_unpackhi_epi8(a, b);
    sum0 = _mm_add_epi32(sum0, _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), weights));
    sum1 = _mm_add_epi32(sum1, _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), weights));
    sum2 = _mm_add_epi32(sum2, _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), weights));
    sum3 = _mm_add_epi32(sum3, _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), weights));
  }
  const __m128i first8 =
      _mm_packs_epi32(_mm_srai_epi32(sum0, WeightBits), _mm_srai_epi32(sum1, WeightBits));
  const __m128i last8 =
      _mm_packs_epi32(_mm_srai_epi32(sum2, WeightBits), _mm_srai_epi32(sum3, WeightBits));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(first8, last8));
}

// A row narrower than a vector is left to the portable loop; the last vector of a wider row
// overlaps the one before and writes the same values again.
void verticalRowSse2(const std::uint8_t* first, int stride, const std::int16_t* weight, int taps,
                     int width, std::uint8_t* out) {
  if (width < 16) {
    verticalRowPortable(first, stride, weight, taps, width, out);
    return;
  }
  int x = 0;
  for (; x + 16 <= width; x += 16) verticalSse2(first, stride, weight, taps, x, out);
  if (x < width) verticalSse2(first, stride, weight, taps, width - 16, out);
}

// The same with 32 pixels a time. AVX2's unpacking and packing work within each 16-byte
// half alike, so the pixels come out in order.
__attribute__((target("avx2"))) inline void verticalAvx2(const std::uint8_t* first, int stride,
                                                         const std::int16_t* weight, int taps,
                                                         int x, std::uint8_t* out) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i half = _mm256_set1_epi32(Half);
  __m256i sum0 = half, sum1 = half, sum2 = half, sum3 = half;
  for (int k = 0; k < taps; k += 2) {
    const std::uint8_t* rowA = first + static_cast<std::ptrdiff_t>(k) * stride + x;
    const std::uint8_t* rowB = k + 1 < taps ? rowA + stride : rowA;
    const __m256i weights = _mm256_set1_epi32(weightPair(weight, k, taps));
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowA));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowB));
    const __m256i lo = _mm256_unpacklo_epi8(a, b);
    const __m256i hi = _mm256_unpackhi_epi8(a, b);
    sum0 = _mm256_add_epi32(sum0, _mm256_madd_epi16(_mm256_unpacklo_epi8(lo, zero), weights));
    sum1 = _mm256_add_epi32(sum1, _mm256_madd_epi16(_mm256_unpackhi_epi8(lo, zero), weights));
    sum2 = _mm256_add_epi32(sum2, _mm256_madd_epi16(_mm256_unpacklo_epi8(hi, zero), weights));
    sum3 = _mm256_add_epi32(sum3, _mm256_madd_epi16(_mm256_unpackhi_epi8(hi, zero), weights));
  }
  const __m256i first16 =
      _mm256_packs_epi32(_mm256_srai_epi32(sum0, WeightBits), _mm256_srai_epi32(sum1, WeightBits));
  const __m256i last16 =
      _mm256_packs_epi32(_mm256_srai_epi32(sum2, WeightBits), _mm256_srai_epi32(sum3, WeightBits));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_packus_epi16(first16, last16));
}

__attribute__((target("avx2"))) void verticalRowAvx2(const std::uint8_t* first, int stride,
                                                     const std::int16_t* weight, int taps,
                                                     int width, std::uint8_t* out) {
  if (width < 32) {
    verticalRowSse2(first, stride, weight, taps, width, out);
    return;
  }
  int x = 0;
  for (; x + 32 <= width; x += 32) verticalAvx2(first, stride, weight, taps, x, out);
  if (x < width) verticalAvx2(first, stride, weight, taps, width - 32, out);
}

// dst's column y is src's row y. Sixteen by sixteen blocks: four rounds of interleaving the
// first eight rows with the last eight transpose a block.
void transposeSse2(const std::uint8_t* src, int srcStride, std::uint8_t* dst, int dstStride,
                   int width, int height) {
  int y = 0;
  for (; y + 16 <= height; y += 16) {
    int x = 0;
    for (; x + 16 <= width; x += 16) {
      __m128i a[16];
      __m128i b[16];
      for (int i = 0; i < 16; ++i)
        a[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(
            src + static_cast<std::ptrdiff_t>(y + i) * srcStride + x));
      for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 8; ++i) {
          b[2 * i] = _mm_unpacklo_epi8(a[i], a[i + 8]);
          b[2 * i + 1] = _mm_unpackhi_epi8(a[i], a[i + 8]);
        }
        std::copy_n(b, 16, a);
      }
      for (int i = 0; i < 16; ++i)
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(dst + static_cast<std::ptrdiff_t>(x + i) * dstStride + y),
            a[i]);
    }
    for (; x < width; ++x)
      for (int i = 0; i < 16; ++i)
        dst[static_cast<std::ptrdiff_t>(x) * dstStride + y + i] =
            src[static_cast<std::ptrdiff_t>(y + i) * srcStride + x];
  }
  for (; y < height; ++y)
    for (int x = 0; x < width; ++x)
      dst[static_cast<std::ptrdiff_t>(x) * dstStride + y] =
          src[static_cast<std::ptrdiff_t>(y) * srcStride + x];
}

#endif

}  // namespace

TPlaneAxis TPlaneAxis::make(int sourceSamples, double sourceExtent, int outputSamples,
                            EPlaneFilter filter) {
  TPlaneAxis axis;
  if (sourceSamples <= 0 || outputSamples <= 0 || sourceExtent <= 0) return axis;
  const double step = sourceExtent / outputSamples;  // source samples per output sample
  const double widen = std::max(1.0, step);
  const double radius = radiusOf(filter) * widen;
  // Output sample i covers [i, i + 1) * step of the source; source sample j is centred on
  // j + 0.5. The samples strictly inside the radius count.
  auto centreOf = [&](int i) { return (i + 0.5) * step - 0.5; };
  auto firstOf = [&](double centre) { return static_cast<int>(std::floor(centre - radius)) + 1; };
  auto lastOf = [&](double centre) { return static_cast<int>(std::ceil(centre + radius)) - 1; };
  int span = 1;
  for (int i = 0; i < outputSamples; ++i)
    span = std::max(span, lastOf(centreOf(i)) - firstOf(centreOf(i)) + 1);
  axis.taps = std::min(span, sourceSamples);
  axis.start.resize(static_cast<std::size_t>(outputSamples));
  axis.weight.assign(static_cast<std::size_t>(outputSamples) * axis.taps, 0);
  std::vector<double> raw(static_cast<std::size_t>(axis.taps));
  for (int i = 0; i < outputSamples; ++i) {
    const double centre = centreOf(i);
    const int first = firstOf(centre);
    const int start = std::clamp(first, 0, sourceSamples - axis.taps);
    axis.start[static_cast<std::size_t>(i)] = start;
    std::fill(raw.begin(), raw.end(), 0.0);
    double sum = 0;
    for (int j = first; j <= lastOf(centre); ++j) {
      const double w = kernel(filter, std::abs(j - centre) / widen);
      raw[static_cast<std::size_t>(std::clamp(j, 0, sourceSamples - 1) - start)] += w;
      sum += w;
    }
    int total = 0;
    int heaviest = 0;
    std::int16_t* weight = axis.weight.data() + static_cast<std::ptrdiff_t>(i) * axis.taps;
    for (int k = 0; k < axis.taps; ++k) {
      const int w = static_cast<int>(std::lround(raw[k] / sum * (1 << WeightBits)));
      weight[k] = static_cast<std::int16_t>(w);
      total += w;
      if (raw[k] > raw[heaviest]) heaviest = k;
    }
    // Rounding must not brighten or darken flat areas.
    weight[heaviest] = static_cast<std::int16_t>(weight[heaviest] + (1 << WeightBits) - total);
  }
  return axis;
}

namespace {

bool hasAvx2() {
#if OSTREL_PLANE_SSE2
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

}  // namespace

TPlaneScaler::TPlaneScaler(EKernels kernels) {
  if (kernels == EKernels::Fastest) kernels = hasAvx2() ? EKernels::Avx2 : EKernels::Sse2;
  if (!vectorised(kernels)) return;
#if OSTREL_PLANE_SSE2
  m_verticalRow = kernels == EKernels::Avx2 ? verticalRowAvx2 : verticalRowSse2;
#endif
}

bool TPlaneScaler::vectorised(EKernels kernels) {
  switch (kernels) {
    case EKernels::Portable:
      return false;
    case EKernels::Sse2:
    case EKernels::Fastest:
      return OSTREL_PLANE_SSE2;
    case EKernels::Avx2:
      return hasAvx2();
  }
  return false;
}

const TPlaneAxis& TPlaneScaler::axisFor(int sourceSamples, double sourceExtent, int outputSamples,
                                        EPlaneFilter filter) {
  auto found = std::find_if(m_axes.begin(), m_axes.end(), [&](const TKeyedAxis& keyed) {
    return keyed.sourceSamples == sourceSamples && keyed.sourceExtent == sourceExtent &&
           keyed.outputSamples == outputSamples && keyed.filter == filter;
  });
  if (found != m_axes.end()) return found->axis;
  m_axes.push_back({sourceSamples, sourceExtent, outputSamples, filter,
                    TPlaneAxis::make(sourceSamples, sourceExtent, outputSamples, filter)});
  return m_axes.back().axis;
}

void TPlaneScaler::makeRoomForTwoAxes() {
  // A handful of sizes at a time (the two axes of luma and of chroma); older ones go. Room for
  // a call's two is made first, so that the second lookup cannot move the first axis.
  constexpr std::size_t Kept = 8;
  if (m_axes.size() + 2 > Kept)
    m_axes.erase(m_axes.begin(),
                 m_axes.begin() + static_cast<std::ptrdiff_t>(m_axes.size() + 2 - Kept));
  m_axes.reserve(Kept);
}

void TPlaneScaler::scalePixels(const TPlane& source, EPlaneFilter filter, std::uint8_t* output,
                               int outputStride, int outputWidth, int outputHeight) {
  if (!source.data || source.width <= 0 || source.height <= 0 || outputWidth <= 0 ||
      outputHeight <= 0)
    return;
  makeRoomForTwoAxes();
  const TPlaneAxis& across = axisFor(source.width, source.width, outputWidth, filter);
  const TPlaneAxis& down = axisFor(source.height, source.height, outputHeight, filter);
  if (across.taps == 0 || down.taps == 0) return;
  // Each byte of a pixel is a channel, and a vertical pass treats every byte column alike, so
  // both passes are the planes' vertical pass; the transpositions move whole pixels.
  const TVerticalRow row = m_verticalRow ? m_verticalRow : verticalRowPortable;
#if OSTREL_PLANE_SSE2
  const auto transpose = m_verticalRow ? transposePixelsSse2 : transposePixelsPortable;
#else
  const auto transpose = transposePixelsPortable;
#endif
  const int rowBytes = 4 * source.width;
  const int columnBytes = 4 * outputHeight;
  m_rows.resize(static_cast<std::size_t>(rowBytes) * outputHeight);
  for (int y = 0; y < outputHeight; ++y)
    row(source.data + static_cast<std::ptrdiff_t>(down.start[y]) * source.stride, source.stride,
        down.weight.data() + static_cast<std::ptrdiff_t>(y) * down.taps, down.taps, rowBytes,
        m_rows.data() + static_cast<std::ptrdiff_t>(y) * rowBytes);
  m_columns.resize(static_cast<std::size_t>(source.width) * columnBytes);
  transpose(m_rows.data(), rowBytes, m_columns.data(), columnBytes, source.width, outputHeight);
  m_rows.resize(static_cast<std::size_t>(outputWidth) * columnBytes);
  for (int x = 0; x < outputWidth; ++x)
    row(m_columns.data() + static_cast<std::ptrdiff_t>(across.start[x]) * columnBytes, columnBytes,
        across.weight.data() + static_cast<std::ptrdiff_t>(x) * across.taps, across.taps,
        columnBytes, m_rows.data() + static_cast<std::ptrdiff_t>(x) * columnBytes);
  transpose(m_rows.data(), columnBytes, output, outputStride, outputHeight, outputWidth);
}

void TPlaneScaler::scale(const TPlane& source, double extentWidth, double extentHeight,
                         EPlaneFilter filter, std::uint8_t* output, int outputStride,
                         int outputWidth, int outputHeight) {
  if (!source.data || source.width <= 0 || source.height <= 0) return;
  makeRoomForTwoAxes();
  const TPlaneAxis& across = axisFor(source.width, extentWidth, outputWidth, filter);
  const TPlaneAxis& down = axisFor(source.height, extentHeight, outputHeight, filter);
  if (across.taps == 0 || down.taps == 0) return;
  const int width = source.width;
  if (!m_verticalRow) {
    m_rows.resize(static_cast<std::size_t>(width) * outputHeight);
    for (int y = 0; y < outputHeight; ++y)
      verticalRowPortable(source.data + static_cast<std::ptrdiff_t>(down.start[y]) * source.stride,
                          source.stride,
                          down.weight.data() + static_cast<std::ptrdiff_t>(y) * down.taps,
                          down.taps, width, m_rows.data() + static_cast<std::ptrdiff_t>(y) * width);
    for (int y = 0; y < outputHeight; ++y)
      horizontalRowPortable(m_rows.data() + static_cast<std::ptrdiff_t>(y) * width, across,
                            outputWidth, output + static_cast<std::ptrdiff_t>(y) * outputStride);
    return;
  }
#if OSTREL_PLANE_SSE2
  // Rows gathered across a window do not vectorise well; whole rows do. The horizontal pass
  // runs as a second vertical pass on the transposed rows, and a transposition puts it back.
  m_rows.resize(static_cast<std::size_t>(width) * outputHeight);
  for (int y = 0; y < outputHeight; ++y)
    m_verticalRow(source.data + static_cast<std::ptrdiff_t>(down.start[y]) * source.stride,
                  source.stride, down.weight.data() + static_cast<std::ptrdiff_t>(y) * down.taps,
                  down.taps, width, m_rows.data() + static_cast<std::ptrdiff_t>(y) * width);
  m_columns.resize(static_cast<std::size_t>(width) * outputHeight);
  transposeSse2(m_rows.data(), width, m_columns.data(), outputHeight, width, outputHeight);
  m_rows.resize(static_cast<std::size_t>(outputWidth) * outputHeight);
  for (int x = 0; x < outputWidth; ++x)
    m_verticalRow(m_columns.data() + static_cast<std::ptrdiff_t>(across.start[x]) * outputHeight,
                  outputHeight, across.weight.data() + static_cast<std::ptrdiff_t>(x) * across.taps,
                  across.taps, outputHeight,
                  m_rows.data() + static_cast<std::ptrdiff_t>(x) * outputHeight);
  transposeSse2(m_rows.data(), outputHeight, output, outputStride, outputHeight, outputWidth);
#endif
}
