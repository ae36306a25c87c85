#pragma once

#include <chrono>

// RateBound: at most `perSecond` events a second on average, with bursts of
// up to `burst` (a token bucket that starts full). Portable; used by one
// thread.
class RateBound {
 public:
  using Clock = std::chrono::steady_clock;

  RateBound(double perSecond, double burst)
      : perSecond_(perSecond), burst_(burst), tokens_(burst), last_(Clock::now()) {}

  // Counts one event at `now`; false when it exceeds the bound.
  bool Take(Clock::time_point now = Clock::now());

 private:
  const double perSecond_;
  const double burst_;
  double tokens_;
  Clock::time_point last_;
};
