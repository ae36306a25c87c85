#include "RateBound.h"

#include <algorithm>

bool RateBound::Take(Clock::time_point now) {
  if (now > last_) {
    double elapsed = std::chrono::duration<double>(now - last_).count();
    tokens_ = std::min(burst_, tokens_ + elapsed * perSecond_);
    last_ = now;
  }
  if (tokens_ < 1) return false;
  tokens_ -= 1;
  return true;
}
