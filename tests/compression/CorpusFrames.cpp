#include "compression/CorpusFrames.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

std::vector<CorpusFrame> ListCorpusFrames(const std::string& corpusDir) {
  std::vector<CorpusFrame> frames;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(corpusDir, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->path().extension() != ".png") continue;
    CorpusFrame frame;
    frame.name = fs::relative(it->path(), corpusDir).generic_string();
    frames.push_back(frame);
  }
  std::sort(frames.begin(), frames.end(),
            [](const CorpusFrame& a, const CorpusFrame& b) { return a.name < b.name; });
  for (size_t i = 1; i < frames.size(); ++i) {
    const fs::path here(frames[i].name), before(frames[i - 1].name);
    if (here.has_parent_path() && here.parent_path() == before.parent_path()) {
      frames[i].previous = frames[i - 1].name;
    }
  }
  return frames;
}

bool LoadCorpusFrame(const std::string& corpusDir, CorpusFrame& frame) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  const std::string path = corpusDir + "/" + frame.name;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_BGR;
  std::vector<uint8_t> topDown(PNG_IMAGE_SIZE(image));
  const int32_t stride = static_cast<int32_t>(PNG_IMAGE_ROW_STRIDE(image));
  if (!png_image_finish_read(&image, nullptr, topDown.data(), stride, nullptr)) return false;
  frame.width = static_cast<int32_t>(image.width) & ~3;
  frame.height = static_cast<int32_t>(image.height);
  const size_t rowBytes = static_cast<size_t>(frame.width) * 3;
  frame.pixels.resize(rowBytes * frame.height);
  for (int32_t y = 0; y < frame.height; ++y) {
    std::copy_n(topDown.begin() + static_cast<size_t>(y) * stride, rowBytes,
                frame.pixels.begin() + static_cast<size_t>(frame.height - 1 - y) * rowBytes);
  }
  return true;
}
