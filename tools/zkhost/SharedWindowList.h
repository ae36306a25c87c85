#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "events/SharingMessages.h"

// What a presenter's host knows of the windows its library shares: it reads
// the ZKP_SHAREDWINDOW reports it drains and keeps the shared set, the
// followed (primary) window, and every report in order, so that a command can
// wait for the report that answers it. Portable.
//
// Threads: Observe on the drain thread; the rest on any thread (one lock).
class SharedWindowList {
 public:
  struct Window {
    uint32_t handle;
    std::string title;
  };

  // Takes a drained event; true when it was a shared-window report.
  bool Observe(uint32_t type, const uint8_t* payload, uint32_t size);

  // Shared windows, the least recently made primary first.
  std::vector<Window> Shared() const;
  // The followed window; handle 0 when there is none.
  Window Primary() const;
  // Reports so far: a command notes the count before it acts and looks at
  // what came after.
  size_t ReportCount() const;
  std::vector<SharedWindowMessage> ReportsSince(size_t count) const;

 private:
  void Apply(const SharedWindowMessage& report);

  mutable std::mutex mutex_;
  std::vector<Window> shared_;
  Window primary_ = {0, ""};
  std::vector<SharedWindowMessage> reports_;
};

// "0x00010036 "Untitled - Notepad"": a window as zkhost prints it.
std::string DescribeWindow(uint32_t handle, const std::string& title);
// What a report says, for a person: "added", "primary", "removed", ...
const char* DescribeReportCode(uint16_t code);
