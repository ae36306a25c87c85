#include "JoinAttempts.h"

#include <algorithm>

bool JoinAttempts::MayTry(const std::string& address, Clock::time_point now) const {
  auto found = records_.find(address);
  return found == records_.end() || now >= found->second.shutUntil;
}

void JoinAttempts::Failed(const std::string& address, Clock::time_point now) {
  if (records_.find(address) == records_.end() && records_.size() >= kMaxAddresses) ForgetOldest();
  Record& record = records_[address];
  record.last = now;
  const int beyond = ++record.failures - kForgivenFailures;
  if (beyond <= 0) return;
  const auto shutOut = std::chrono::seconds(1) * (1LL << std::min(beyond - 1, 6));
  record.shutUntil = now + std::min<Clock::duration>(shutOut, kLongestShutOut);
}

void JoinAttempts::ForgetOldest() {
  auto oldest = std::min_element(records_.begin(), records_.end(), [](const auto& a, const auto& b) {
    return a.second.last < b.second.last;
  });
  records_.erase(oldest);
}
