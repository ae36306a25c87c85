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

}  // namespace

double BestSecondsPerRun(const std::function<void()>& run, const TimingPolicy& policy) {
  // The first call warms caches and tells how many calls make one sample.
  const double first = SecondsFor(run, 1);
  const uint64_t runsPerSample =
      first >= policy.minSampleSeconds
          ? 1
          : std::min<uint64_t>(kMaxRunsPerSample,
                               static_cast<uint64_t>(std::ceil(policy.minSampleSeconds / std::max(first, 1e-9))));
  double best = runsPerSample == 1 ? first : std::numeric_limits<double>::infinity();
  double spent = first;
  const double sampleEstimate = first * static_cast<double>(runsPerSample);
  for (int sample = runsPerSample == 1 ? 1 : 0; sample < policy.samples; ++sample) {
    if (best < std::numeric_limits<double>::infinity() && spent + sampleEstimate > policy.budgetSeconds) break;
    const double seconds = SecondsFor(run, runsPerSample);
    spent += seconds;
    best = std::min(best, seconds / static_cast<double>(runsPerSample));
  }
  return best;
}
