#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FrameMeasure.h"

// Presentation of measured figures: a table for people and one JSON object
// per frame for programs. Throughput is always megabytes (10^6 bytes) of raw
// pixels per second, whatever the codec actually reads or writes.

double MegabytesPerSecond(uint64_t rawBytes, double seconds);
double Median(std::vector<double> values);

// One block of the table: a row per codec with its speed relative to zlib -1
// in the same run, then the pipeline's stages.
void PrintFrameFigures(FILE* out, const FrameFigures& figures);

// Totals and medians over many frames, per codec.
void PrintSummary(FILE* out, const std::vector<FrameFigures>& frames);

// The figures of one frame as one line of JSON (no newline).
std::string FrameFiguresJson(const FrameFigures& figures);

// A JSON string literal with the characters that need it escaped.
std::string JsonString(const std::string& text);
