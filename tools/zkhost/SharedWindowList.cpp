#include "SharedWindowList.h"

#include <algorithm>
#include <cstdio>

#include "CommandWords.h"
#include "events/ProtocolTypes.h"

namespace {
enum ReportCode : uint16_t {
  kAdded = 0,
  kPrimary = 1,
  kRemoved = 2,
  kGone = 4,
  kRefused = 5,
  kNotFollowed = 6,
};
}  // namespace

bool SharedWindowList::Observe(uint32_t type, const uint8_t* payload, uint32_t size) {
  SharedWindowMessage report;
  if (type != ZKP_SHAREDWINDOW || !ParseMessage(payload, size, &report)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  Apply(report);
  reports_.push_back(report);
  return true;
}

void SharedWindowList::Apply(const SharedWindowMessage& report) {
  auto same = [&](const Window& w) { return w.handle == report.window; };
  auto found = std::find_if(shared_.begin(), shared_.end(), same);
  switch (report.code) {
    case kAdded:
      if (found == shared_.end()) shared_.push_back(Window{report.window, report.title});
      break;
    case kPrimary:
      if (found != shared_.end()) {
        // Made primary again: it moves to the end, as in the library's list.
        Window window{report.window, report.title};
        shared_.erase(found);
        shared_.push_back(window);
      }
      primary_ = Window{report.window, report.title};
      break;
    case kRemoved:
      if (found != shared_.end()) shared_.erase(found);
      if (primary_.handle == report.window) primary_ = Window{0, ""};
      break;
    case kNotFollowed:
      if (primary_.handle == report.window) primary_ = Window{0, ""};
      break;
    default:
      break;
  }
}

std::vector<SharedWindowList::Window> SharedWindowList::Shared() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shared_;
}

SharedWindowList::Window SharedWindowList::Primary() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return primary_;
}

size_t SharedWindowList::ReportCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reports_.size();
}

std::vector<SharedWindowMessage> SharedWindowList::ReportsSince(size_t count) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count >= reports_.size()) return {};
  return std::vector<SharedWindowMessage>(reports_.begin() + static_cast<ptrdiff_t>(count),
                                          reports_.end());
}

std::string DescribeWindow(uint32_t handle, const std::string& title) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", handle);
  return std::string(hex) + " " + JoinCommandWords({title.empty() ? std::string() : title});
}

const char* DescribeReportCode(uint16_t code) {
  switch (code) {
    case kAdded:
      return "added";
    case kPrimary:
      return "primary";
    case kRemoved:
      return "removed";
    case kGone:
      return "gone";
    case kRefused:
      return "refused";
    case kNotFollowed:
      return "no longer followed";
    default:
      return "unknown report";
  }
}
