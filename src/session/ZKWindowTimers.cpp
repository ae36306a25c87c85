#include "compression/DecodeFailureReporter.h"
#include "session/ZKWindow.h"

void ZKWindow::RestartTimer(UINT_PTR timerId, uint32_t intervalMs) {
  // Without a session window, SetTimer and PostMessage would act on the
  // calling host thread's own queue: the setters only store their values.
  if (!window_) return;
  KillTimer(window_, timerId);
  if (intervalMs) SetTimer(window_, timerId, intervalMs, nullptr);
}

bool ZKWindow::SetUpdateFrequency(uint32_t intervalMs) {
  if (intervalMs == 0) return false;
  updateInterval_ = intervalMs;
  RestartTimer(TIMER_UPDATE, intervalMs);
  return true;
}

bool ZKWindow::SetPollFrequency(uint32_t intervalMs, bool exclusive, uint32_t bands) {
  pollInterval_ = intervalMs;
  pollExclusive_ = intervalMs ? exclusive : 0;
  pollProgressive_ = intervalMs ? bands : 0;
  RestartTimer(TIMER_POLL, intervalMs);
  if (window_) PostMessageA(window_, WM_ZK_POLL, 0, 0);
  return true;
}

void ZKWindow::DispatchReceivedEvents() {
  // Handlers run under the queue lock. A decoder's failure is reported (in a
  // message box, by default) only once the lock is left, so that host threads
  // never wait for the user.
  DecodeFailureHold reportsAfterTheLock;
  DispatchEvents();
}

void ZKWindow::OnTimer(UINT_PTR timerId) {
  switch (timerId) {
    case TIMER_UPDATE:
      // Each interval runs from the end of one tick to the start of the next.
      KillTimer(window_, TIMER_UPDATE);
      if (displayMode_ == ZKM_CAPTURE && !inSizeMove_) SendPendingUpdates();
      DispatchReceivedEvents();
      if (updateInterval_) SetTimer(window_, TIMER_UPDATE, updateInterval_, nullptr);
      break;
    case TIMER_POLL:
      KillTimer(window_, TIMER_POLL);
      PostMessageA(window_, WM_ZK_POLL, pollProgressive_, 0);
      if (pollInterval_) SetTimer(window_, TIMER_POLL, pollInterval_, nullptr);
      break;
    case TIMER_INPUT:
      OnInputTick();
      break;
    case TIMER_REPAINT:
      RepaintNow();
      break;
    case TIMER_POSITION:
      KillTimer(window_, TIMER_POSITION);
      ApplyPosition();
      break;
    default:
      break;
  }
}
