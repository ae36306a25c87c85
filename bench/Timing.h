#pragma once

#include <functional>
#include <vector>

// How long to measure: machines here are shared and noisy, so every figure is
// the best of several samples, each long enough to swamp the clock's
// resolution and scheduler hiccups. Something that takes longer than the
// budget on its own is measured once.
struct TimingPolicy {
  double minSampleSeconds = 0.05;
  int samples = 3;
  double budgetSeconds = 2.0;  // per measurement, once a sample is over
};

// Calls `run` repeatedly and returns the best time of one call, in seconds.
// `run` must be repeatable: each call does the same work on the same data.
double BestSecondsPerRun(const std::function<void()>& run, const TimingPolicy& policy);

// The same for several runs whose times are compared: their samples are
// taken in turns, so that a stretch of noise on a shared machine falls on
// one sample of each rather than on every sample of one.
std::vector<double> BestSecondsPerRunInTurns(const std::vector<std::function<void()>>& runs,
                                             const TimingPolicy& policy);
