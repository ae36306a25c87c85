#include "Timing.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr uint64_t kMaxRunsPerSample = 1000000;

double SecondsFor(const std::function<void()>& run, uint64_t runs) {
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t i = 0; i < runs; ++i) run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One run's samples so far.
struct Samples {
  uint64_t runsPerSample = 1;
  double estimate = 0;  // seconds one sample is expected to take
  double spent = 0;
  double best = std::numeric_limits<double>::infinity();
  int taken = 0;
};

// The first call warms caches and tells how many calls make one sample; a
// call that is a sample by itself counts as the first.
Samples FirstCall(const std::function<void()>& run, const TimingPolicy& policy) {
  Samples s;
  const double first = SecondsFor(run, 1);
  s.spent = first;
  if (first >= policy.minSampleSeconds) {
    s.best = first;
    s.taken = 1;
  } else {
    s.runsPerSample = std::min<uint64_t>(
        kMaxRunsPerSample, static_cast<uint64_t>(std::ceil(policy.minSampleSeconds / std::max(first, 1e-9))));
  }
  s.estimate = first * static_cast<double>(s.runsPerSample);
  return s;
}

bool WantsSample(const Samples& s, const TimingPolicy& policy) {
  if (s.taken >= policy.samples) return false;
  return s.taken == 0 || s.spent + s.estimate <= policy.budgetSeconds;
}

}  // namespace

std::vector<double> BestSecondsPerRunInTurns(const std::vector<std::function<void()>>& runs,
                                             const TimingPolicy& policy) {
  std::vector<Samples> samples;
  samples.reserve(runs.size());
  for (const auto& run : runs) samples.push_back(FirstCall(run, policy));
  for (bool more = true; more;) {
    more = false;
    for (size_t k = 0; k < runs.size(); ++k) {
      Samples& s = samples[k];
      if (!WantsSample(s, policy)) continue;
      const double seconds = SecondsFor(runs[k], s.runsPerSample);
      s.spent += seconds;
      s.best = std::min(s.best, seconds / static_cast<double>(s.runsPerSample));
      ++s.taken;
      more = true;
    }
  }
  std::vector<double> best;
  for (const Samples& s : samples) best.push_back(s.best);
  return best;
}

double BestSecondsPerRun(const std::function<void()>& run, const TimingPolicy& policy) {
  return BestSecondsPerRunInTurns({run}, policy)[0];
}
