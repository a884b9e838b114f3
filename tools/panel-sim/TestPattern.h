#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// The simulated panel's picture: colour bars, a square that moves with every frame, and the
// frame number and the time of day in seven-segment digits (drawn here, so no font is
// needed), encoded as baseline JPEG by TurboJPEG. One object per client thread: not shared.
class TTestPattern {
 public:
  // Throws std::runtime_error when TurboJPEG cannot be set up.
  TTestPattern(int width, int height);
  ~TTestPattern();
  TTestPattern(const TTestPattern&) = delete;
  TTestPattern& operator=(const TTestPattern&) = delete;

  // The JPEG file of frame `number` showing the local time `now`. The bytes stay valid until
  // the next call. Throws std::runtime_error when encoding fails.
  std::span<const unsigned char> frame(std::uint64_t number,
                                       std::chrono::system_clock::time_point now);

 private:
  void fillRect(std::vector<unsigned char>& image, int x, int y, int w, int h,
                const unsigned char rgb[3]);
  void drawDigit(int x, int y, int w, int h, int digit);
  void drawColon(int x, int y, int w, int h);

  int m_width;
  int m_height;
  void* m_tj = nullptr;  // tjhandle
  // The still part, one row of the bars and one of the band below them, copied into m_rgb for
  // each frame: a whole still picture would cost each new client megabytes of page faults.
  std::vector<unsigned char> m_barsRow;
  std::vector<unsigned char> m_bandRow;
  std::vector<unsigned char> m_rgb;
  // Sized once to TurboJPEG's worst case and left uninitialised: only the few pages a frame
  // fills are ever touched, where zeroing all of it cost each new client milliseconds.
  std::unique_ptr<unsigned char[]> m_jpeg;
  unsigned long m_jpegCapacity = 0;
};
