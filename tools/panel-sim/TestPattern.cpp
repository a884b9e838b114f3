#include "tools/panel-sim/TestPattern.h"

#include <turbojpeg.h>

#include <algorithm>
#include <ctime>
#include <stdexcept>
#include <string>

namespace {

constexpr unsigned char Bars[7][3] = {{192, 192, 192}, {192, 192, 0}, {0, 192, 192}, {0, 192, 0},
                                      {192, 0, 192},   {192, 0, 0},   {0, 0, 192}};
constexpr unsigned char Band[3] = {16, 16, 16};
constexpr unsigned char Ink[3] = {255, 255, 255};
constexpr unsigned char Marker[3] = {255, 128, 0};

// Segments a to g, bit 0 = a (top), clockwise, g the middle bar.
constexpr unsigned char Segments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

// Cells of the digit row: six counter digits, a gap, then HH:MM:SS.
constexpr int Cells = 15;

}  // namespace

TTestPattern::TTestPattern(int width, int height)
    : m_width(width),
      m_height(height),
      m_tj(tjInitCompress()),
      m_barsRow(static_cast<std::size_t>(width) * 3),
      m_bandRow(static_cast<std::size_t>(width) * 3),
      m_rgb(static_cast<std::size_t>(width) * height * 3),
      m_jpeg(new unsigned char[tjBufSize(width, height, TJSAMP_420)]),
      m_jpegCapacity(tjBufSize(width, height, TJSAMP_420)) {
  if (!m_tj) throw std::runtime_error("TurboJPEG cannot start");
  for (int i = 0; i < 7; ++i) {
    int x0 = m_width * i / 7;
    int x1 = m_width * (i + 1) / 7;
    fillRect(m_barsRow, x0, 0, x1 - x0, 1, Bars[i]);
  }
  fillRect(m_bandRow, 0, 0, m_width, 1, Band);
}

TTestPattern::~TTestPattern() { tjDestroy(static_cast<tjhandle>(m_tj)); }

std::span<const unsigned char> TTestPattern::frame(std::uint64_t number,
                                                   std::chrono::system_clock::time_point now) {
  const int barsHeight = m_height * 2 / 3;
  for (int row = 0; row < m_height; ++row) {
    const auto& still = row < barsHeight ? m_barsRow : m_bandRow;
    std::copy(still.begin(), still.end(),
              m_rgb.begin() + static_cast<std::ptrdiff_t>(row) * m_width * 3);
  }

  const int bandHeight = m_height - barsHeight;

  // A square sliding along the bottom of the bars, one step per frame, so that motion shows.
  const int side = std::max(4, bandHeight / 6);
  const int travel = std::max(1, m_width - side);
  const int step = std::max(1, m_width / 64);
  fillRect(m_rgb, static_cast<int>((number * step) % travel), barsHeight - side, side, side,
           Marker);

  const int cellWidth = m_width / (Cells + 1);
  const int digitWidth = cellWidth * 3 / 4;
  const int digitHeight = std::min(bandHeight * 2 / 3, digitWidth * 2);
  const int top = barsHeight + (bandHeight - digitHeight) / 2;
  int x = cellWidth / 2;

  std::uint64_t counter = number % 1000000;
  for (int i = 5; i >= 0; --i) {
    drawDigit(x + i * cellWidth, top, digitWidth, digitHeight, static_cast<int>(counter % 10));
    counter /= 10;
  }
  x += 7 * cellWidth;

  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const int clock[3] = {local.tm_hour, local.tm_min, local.tm_sec};
  for (int part = 0; part < 3; ++part) {
    if (part > 0) {
      drawColon(x, top, digitWidth, digitHeight);
      x += cellWidth;
    }
    drawDigit(x, top, digitWidth, digitHeight, clock[part] / 10);
    drawDigit(x + cellWidth, top, digitWidth, digitHeight, clock[part] % 10);
    x += 2 * cellWidth;
  }

  unsigned char* out = m_jpeg.get();
  unsigned long size = m_jpegCapacity;
  if (tjCompress2(static_cast<tjhandle>(m_tj), m_rgb.data(), m_width, 0, m_height, TJPF_RGB, &out,
                  &size, TJSAMP_420, 80, TJFLAG_NOREALLOC) != 0)
    throw std::runtime_error(std::string("JPEG encoding failed: ") +
                             tjGetErrorStr2(static_cast<tjhandle>(m_tj)));
  return {m_jpeg.get(), size};
}

void TTestPattern::fillRect(std::vector<unsigned char>& image, int x, int y, int w, int h,
                            const unsigned char rgb[3]) {
  const int x0 = std::clamp(x, 0, m_width);
  const int x1 = std::clamp(x + w, 0, m_width);
  const int y0 = std::clamp(y, 0, m_height);
  const int y1 = std::clamp(y + h, 0, m_height);
  for (int row = y0; row < y1; ++row) {
    unsigned char* p = image.data() + (static_cast<std::size_t>(row) * m_width + x0) * 3;
    for (int col = x0; col < x1; ++col, p += 3) std::copy(rgb, rgb + 3, p);
  }
}

void TTestPattern::drawDigit(int x, int y, int w, int h, int digit) {
  const int t = std::max(1, w / 5);  // segment thickness
  const int half = h / 2;
  const unsigned char on = Segments[digit];
  if (on & 0x01) fillRect(m_rgb, x, y, w, t, Ink);                        // a
  if (on & 0x02) fillRect(m_rgb, x + w - t, y, t, half, Ink);             // b
  if (on & 0x04) fillRect(m_rgb, x + w - t, y + half, t, h - half, Ink);  // c
  if (on & 0x08) fillRect(m_rgb, x, y + h - t, w, t, Ink);                // d
  if (on & 0x10) fillRect(m_rgb, x, y + half, t, h - half, Ink);          // e
  if (on & 0x20) fillRect(m_rgb, x, y, t, half, Ink);                     // f
  if (on & 0x40) fillRect(m_rgb, x, y + half - t / 2, w, t, Ink);         // g
}

void TTestPattern::drawColon(int x, int y, int w, int h) {
  const int t = std::max(1, w / 5);
  const int cx = x + (w - t) / 2;
  fillRect(m_rgb, cx, y + h / 4, t, t, Ink);
  fillRect(m_rgb, cx, y + h * 3 / 4 - t, t, t, Ink);
}
