#pragma once

#include <chrono>

// Local calendar time, as the user's clock shows it.
struct TLocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Time behind a seam: log stamps, the December idle picture and snapshot names depend on it.
class IClock {
 public:
  virtual ~IClock() = default;
  // A steady time for measuring elapsed milliseconds; never goes back.
  virtual std::chrono::steady_clock::time_point steadyNow() const = 0;
  virtual TLocalTime localNow() const = 0;
};

class TSystemClock final : public IClock {
 public:
  std::chrono::steady_clock::time_point steadyNow() const override;
  TLocalTime localNow() const override;
};
