#pragma once

// Where every hook procedure sends its reports: the session window, held in a
// data section shared by all processes that map ZKHooks.dll, because the
// desktop hooks run inside other processes. Only the presenter's process
// changes the target (SetHooks / UnSetHooks); hook procedures read it on any
// thread of any process.

#include <windows.h>

namespace zkhooks {

void SetReportTarget(HWND session);
// The session window, or null when nobody listens.
HWND ReportTarget();

// Clears the target if it is `session`, then waits until no hook procedure
// is between reading the target and posting to it, so nothing is posted to
// `session` once this returns, and forgets the drawing kept for it. Another
// session's target is left alone.
void CloseReports(HWND session);

// One report in the making. While it lives, the hook procedure counts as in
// flight and CloseReports waits for it; build and post it without delay.
class PendingReport {
 public:
  PendingReport();
  ~PendingReport();
  PendingReport(const PendingReport&) = delete;
  PendingReport& operator=(const PendingReport&) = delete;

  // The session window, or null when nobody listens.
  HWND Target() const { return target_; }
  // False when nobody listens or the target's queue refused it.
  bool Post(UINT report, WPARAM wParam, LPARAM lParam) const;

 private:
  HWND target_;
};

}  // namespace zkhooks
