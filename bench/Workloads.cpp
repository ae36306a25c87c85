#include "Workloads.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "PictureFile.h"

namespace fs = std::filesystem;

namespace {

// Orders names with their digit runs compared as numbers.
bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
      size_t endA = i;
      size_t endB = j;
      while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA]))) ++endA;
      while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB]))) ++endB;
      std::string digitsA = a.substr(i, endA - i);
      std::string digitsB = b.substr(j, endB - j);
      digitsA.erase(0, std::min(digitsA.find_first_not_of('0'), digitsA.size()));
      digitsB.erase(0, std::min(digitsB.find_first_not_of('0'), digitsB.size()));
      if (digitsA.size() != digitsB.size()) return digitsA.size() < digitsB.size();
      if (digitsA != digitsB) return digitsA < digitsB;
      i = endA;
      j = endB;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

bool IsPng(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".png";
}

std::vector<fs::path> SortedEntries(const fs::path& folder, bool folders, std::error_code& failure) {
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(folder, failure), end; !failure && it != end; it.increment(failure)) {
    const bool isFolder = it->is_directory();
    if (isFolder == folders && (folders || IsPng(it->path()))) entries.push_back(it->path());
  }
  std::sort(entries.begin(), entries.end(),
            [](const fs::path& a, const fs::path& b) { return NaturalLess(a.filename().string(), b.filename().string()); });
  return entries;
}

}  // namespace

bool WorkloadFromPath(const std::string& path, Workload& workload, std::string& error) {
  workload = Workload();
  const fs::path location(path);
  std::error_code failure;
  if (!fs::is_directory(location, failure)) {
    workload.label = location.filename().string();
    workload.framePaths.push_back(path);
    return true;
  }
  workload.sequence = true;
  workload.label = location.filename().empty() ? location.parent_path().filename().string()
                                               : location.filename().string();
  for (const fs::path& frame : SortedEntries(location, false, failure)) workload.framePaths.push_back(frame.string());
  if (failure) {
    error = path + ": " + failure.message();
    return false;
  }
  if (workload.framePaths.empty()) {
    error = path + ": no PNG frames in this folder";
    return false;
  }
  return true;
}

bool ListCorpus(const std::string& folder, std::vector<Workload>& stills, std::vector<Workload>& sequences,
                std::string& error) {
  std::error_code failure;
  const std::vector<fs::path> files = SortedEntries(folder, false, failure);
  const std::vector<fs::path> folders = failure ? std::vector<fs::path>() : SortedEntries(folder, true, failure);
  if (failure) {
    error = folder + ": " + failure.message();
    return false;
  }
  for (const fs::path& file : files) {
    Workload still;
    if (!WorkloadFromPath(file.string(), still, error)) return false;
    stills.push_back(still);
  }
  for (const fs::path& sub : folders) {
    Workload sequence;
    if (!WorkloadFromPath(sub.string(), sequence, error)) return false;
    sequences.push_back(sequence);
  }
  return true;
}

bool MeasureWorkload(const Workload& workload, FrameMeasurer& measurer, const FrameSink& sink,
                     std::string& error) {
  Picture previous;
  for (size_t i = 0; i < workload.framePaths.size(); ++i) {
    Picture frame;
    if (!ReadPictureFile(workload.framePaths[i], frame, error)) return false;
    if (i > 0 && (frame.width != previous.width || frame.height != previous.height)) {
      error = workload.framePaths[i] + ": not the size of the frame before it";
      return false;
    }
    FrameJob job;
    job.kind = workload.sequence ? "sequence" : "still";
    job.label = workload.sequence
                    ? workload.label + "/" + fs::path(workload.framePaths[i]).filename().string()
                    : workload.label;
    job.width = frame.width;
    job.height = frame.height;
    job.pixels = frame.pixels.data();
    job.reference = i > 0 ? previous.pixels.data() : nullptr;
    sink(measurer.Measure(job));
    previous = std::move(frame);
  }
  return true;
}
