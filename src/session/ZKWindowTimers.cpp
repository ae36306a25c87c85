#include "session/ZKWindow.h"

bool ZKWindow::SetUpdateFrequency(uint32_t intervalMs) {
  if (intervalMs == 0) return false;
  updateInterval_ = intervalMs;
  // A null window would give the timer to the calling host thread.
  if (!window_) return true;
  KillTimer(window_, TIMER_UPDATE);
  SetTimer(window_, TIMER_UPDATE, intervalMs, nullptr);
  return true;
}

bool ZKWindow::SetPollFrequency(uint32_t intervalMs, bool exclusive, uint32_t bands) {
  // A null window would give the timer and the poll to the calling host thread.
  bool haveWindow = window_ != nullptr;
  if (haveWindow) KillTimer(window_, TIMER_POLL);
  pollInterval_ = intervalMs;
  if (intervalMs) {
    pollExclusive_ = exclusive;
    pollProgressive_ = bands;
    if (haveWindow) SetTimer(window_, TIMER_POLL, intervalMs, nullptr);
  } else {
    pollExclusive_ = 0;
    pollProgressive_ = 0;
  }
  if (haveWindow) PostMessageA(window_, WM_ZK_POLL, 0, 0);
  return true;
}

void ZKWindow::OnTimer(UINT_PTR timerId) {
  switch (timerId) {
    case TIMER_UPDATE:
      // Each interval runs from the end of one tick to the start of the next.
      KillTimer(window_, TIMER_UPDATE);
      if (displayMode_ == ZKM_CAPTURE && !inSizeMove_) SendPendingUpdates();
      DispatchEvents();
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
