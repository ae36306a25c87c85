#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>

// JoinAttempts: how the presenter slows down whoever guesses its join key.
// A few wrong keys from one address are typing mistakes; past them, each
// further wrong key shuts that address out for twice as long as the last,
// up to a minute, and a right key clears its record. An address that is
// shut out is refused before it may try. The records kept are bounded: past
// the bound, the address whose last wrong key is oldest is forgotten.
//
// Portable, no lock: the presenter's host serialises the calls.
class JoinAttempts {
 public:
  using Clock = std::chrono::steady_clock;

  bool MayTry(const std::string& address, Clock::time_point now) const;
  void Failed(const std::string& address, Clock::time_point now);
  void Succeeded(const std::string& address) { records_.erase(address); }
  size_t Tracked() const { return records_.size(); }

  static constexpr int kForgivenFailures = 3;
  static constexpr std::chrono::seconds kLongestShutOut{60};
  static constexpr size_t kMaxAddresses = 4096;

 private:
  struct Record {
    int failures = 0;
    Clock::time_point last;
    Clock::time_point shutUntil;
  };
  void ForgetOldest();

  std::map<std::string, Record> records_;
};
