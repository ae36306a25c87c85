#pragma once

#include <functional>
#include <string>
#include <vector>

#include "FrameMeasure.h"

// What the benchmark reads from disk: a still is one PNG file; a sequence is
// a folder of numbered PNG frames, each measured against the one before it
// (the first against nothing, as a viewer's first full update).
struct Workload {
  std::string label;  // file name, or folder name for a sequence
  bool sequence = false;
  std::vector<std::string> framePaths;  // in frame order
};

// A PNG file becomes a still, a folder a sequence of its *.png files in
// natural order (frame_2 before frame_10).
bool WorkloadFromPath(const std::string& path, Workload& workload, std::string& error);

// Every still (*.png) and every sequence (sub-folder) of a corpus folder,
// each group in name order.
bool ListCorpus(const std::string& folder, std::vector<Workload>& stills, std::vector<Workload>& sequences,
                std::string& error);

// Loads the frames one by one and hands each frame's figures to `sink` as
// soon as they are measured.
using FrameSink = std::function<void(const FrameFigures&)>;
bool MeasureWorkload(const Workload& workload, FrameMeasurer& measurer, const FrameSink& sink,
                     std::string& error);
