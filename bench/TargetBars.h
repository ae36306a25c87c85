#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "FrameMeasure.h"

// The speed targets of the default configuration, each a ratio to a
// general-purpose coder measured in the same run on the same frames.
struct BarResult {
  std::string name;
  std::string detail;   // what was compared, and the frame that decided
  double value = 0;
  double target = 0;
  enum Goal { AtLeast, AtMost, Information } goal = AtLeast;

  bool Passed() const;
};

// fullFrames: every corpus still and sequence frame and every pattern, whole;
// bandFrames: the corpus stills again, in bands of a tenth of their height.
std::vector<BarResult> EvaluateBars(const std::vector<FrameFigures>& fullFrames,
                                    const std::vector<FrameFigures>& bandFrames);

void PrintBars(FILE* out, const std::vector<BarResult>& bars);
std::string BarJson(const BarResult& bar);
