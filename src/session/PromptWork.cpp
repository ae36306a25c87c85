// The event-driven paths of a session, each off unless .\ZK.ini turns it on:
// reported drawing sent a few milliseconds after its report, and events a
// host hands in handled as soon as the worker is free, instead of both
// waiting for the update tick. With them a host can keep the tick long (few
// wake-ups while nothing happens) and still move changes at once.
// Owner: ZKWindow. Threads: PostReceivedEvent runs on host threads, the rest
// on the worker.
#include "session/ZKWindow.h"

#include <algorithm>

bool ZKWindow::PostReceivedEvent(const Event* in) {
  if (!PostEvent(in)) return false;
  if (!dispatchOnPost_) return true;
  // One wake-up on its way serves every event handed in before it is taken.
  HWND window = window_;
  if (window && !dispatchPosted_.exchange(true) && !PostMessageA(window, WM_ZK_DISPATCH, 0, 0))
    dispatchPosted_ = false;
  return true;
}

void ZKWindow::ScheduleReportedSend() {
  if (!reportSendDelay_ || sendScheduled_ || RectList::IsEmpty()) return;
  // Armed once from the first report: drawing that goes on (a video) must
  // not put its own sending off.
  sendScheduled_ = true;
  SetTimer(window_, TIMER_SEND, reportSendDelay_, nullptr);
}

void ZKWindow::ScheduleFollowUp() {
  // What the host's queue had no room for goes on as soon as the host may
  // have taken some: a long update tick must not hold it back.
  if (!RectList::IsEmpty() && !paused_)
    ScheduleReportedSend();
  else
    ScheduleRecheck();
}

void ZKWindow::ScheduleRecheck() {
  if (!reportSendDelay_ || sendScheduled_ || recheck_.IsEmpty()) return;
  sendScheduled_ = true;
  // The platform raises shorter intervals to its floor.
  SetTimer(window_, TIMER_SEND, std::max<uint32_t>(RecheckDueIn(), 1), nullptr);
}

void ZKWindow::OnSendTimer() {
  KillTimer(window_, TIMER_SEND);
  sendScheduled_ = false;
  if (displayMode_ != ZKM_CAPTURE || inSizeMove_) return;
  TakeDrawnAreas();
  SendPendingUpdates();
  ScheduleFollowUp();
}
