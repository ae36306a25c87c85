#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Frames of the shared screen corpus as the capture code holds them: 24-bit
// blue-green-red, bottom-up rows, width rounded down to a multiple of 4.
struct CorpusFrame {
  std::string name;      // path relative to the corpus folder
  std::string previous;  // the frame before it in its sequence, or empty
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
};

// Every PNG of the corpus (stills and sequence frames), sorted by name, with
// its predecessor named for sequence frames. Pixels are not loaded.
std::vector<CorpusFrame> ListCorpusFrames(const std::string& corpusDir);

// Loads the pixels of a frame; false if the file cannot be read as 24-bit RGB.
bool LoadCorpusFrame(const std::string& corpusDir, CorpusFrame& frame);
