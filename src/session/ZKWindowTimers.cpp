#include "compression/DecodeFailureReporter.h"
#include "session/ZKWindow.h"

namespace {
// A host-requested position is applied once the host has stopped moving the
// window for this long.
constexpr uint32_t kPositionSettleMs = 200;
// A timer message comes only when no posted message waits: a host that keeps
// the worker's queue full (full-update requests in a loop) would hold back
// the update tick, and with it every received event, for as long as it
// posts. After this many intervals without one, the next private message
// runs it.
constexpr uint32_t kStarvedTicks = 2;
}  // namespace

uint32_t ZKWindow::TimerInterval(UINT_PTR timerId) const {
  switch (timerId) {
    case TIMER_UPDATE:
      return updateInterval_;
    case TIMER_INPUT:
      return inputInterval_;
    case TIMER_POLL:
      return pollInterval_;
    case TIMER_POSITION:
      return kPositionSettleMs;
    default:
      return 0;
  }
}

uint32_t ZKWindow::TimerBit(UINT_PTR timerId) {
  return timerId >= TIMER_UPDATE && timerId <= TIMER_REPAINT ? 1u << (timerId - TIMER_UPDATE) : 0;
}

void ZKWindow::RestartTimer(UINT_PTR timerId) {
  // Cleared before the interval is read: a setter that stores a newer one
  // afterwards posts again.
  restartsPosted_ &= ~TimerBit(timerId);
  KillTimer(window_, timerId);
  if (timerId == TIMER_INPUT && inputTimerOnDemand_ && pendingMoveSent_) return;
  if (uint32_t intervalMs = TimerInterval(timerId)) SetTimer(window_, timerId, intervalMs, nullptr);
}

void ZKWindow::RestartTimerOnWorker(UINT_PTR timerId) {
  // Read once: the worker may end the window between two reads, and SetTimer
  // or PostMessage with a null window would act on the calling thread.
  HWND window = window_;
  if (!window) return;
  if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
    RestartTimer(timerId);
    return;
  }
  // One restart on its way per timer takes the newest interval; a host that
  // calls a setter in a loop must not flood the worker's queue.
  const uint32_t bit = TimerBit(timerId);
  if (restartsPosted_.fetch_or(bit) & bit) return;
  if (!PostMessageA(window, WM_ZK_RESTARTTIMER, timerId, 0)) restartsPosted_ &= ~bit;
}

bool ZKWindow::SetUpdateFrequency(uint32_t intervalMs) {
  if (intervalMs == 0) return false;
  updateInterval_ = intervalMs;
  RestartTimerOnWorker(TIMER_UPDATE);
  return true;
}

bool ZKWindow::SetPollFrequency(uint32_t intervalMs, bool exclusive, uint32_t bands) {
  pollInterval_ = intervalMs;
  pollExclusive_ = intervalMs && exclusive;
  pollProgressive_ = intervalMs ? bands : 0;
  RestartTimerOnWorker(TIMER_POLL);
  // As for the restarts: one poll on its way reads the newest settings.
  HWND window = window_;
  if (window && !setterPollPosted_.exchange(true) && !PostMessageA(window, WM_ZK_POLL, 0, 0))
    setterPollPosted_ = false;
  return true;
}

void ZKWindow::DispatchReceivedEvents() {
  // A decoder's message box pumps messages while it waits: a pass asked for
  // meanwhile (a tick, a host handing in more) waits for the box instead of
  // nesting inside it, or a peer sending corrupt streams would stack boxes
  // until the worker's stack ran out.
  if (dispatchingReceived_) return;
  dispatchingReceived_ = true;
  {
    // Handlers run under the queue lock. A decoder's failure is reported (in
    // a message box, by default) only once the lock is left, so that host
    // threads never wait for the user.
    DecodeFailureHold reportsAfterTheLock;
    DispatchEvents();
  }
  dispatchingReceived_ = false;
}

void ZKWindow::RunStarvedUpdateTick() {
  const uint32_t interval = updateInterval_;
  // Not from inside a tick: a decoder's message box pumps messages.
  if (updateTicking_ && !inUpdateTick_ &&
      GetTickCount() - lastUpdateTick_ >= kStarvedTicks * interval)
    OnTimer(TIMER_UPDATE);
}

void ZKWindow::OnTimer(UINT_PTR timerId) {
  switch (timerId) {
    case TIMER_UPDATE:
      // Each interval runs from the end of one tick to the start of the next.
      KillTimer(window_, TIMER_UPDATE);
      lastUpdateTick_ = GetTickCount();
      updateTicking_ = true;
      inUpdateTick_ = true;
      ForgetEndedSharedWindows();
      // A drawing report that never arrives (its program died between
      // announcing and posting it) would hold back every later one: the tick
      // takes what the hooks kept all the same.
      TakeDrawnAreas();
      if (displayMode_ == ZKM_CAPTURE && !inSizeMove_) {
        SendPendingUpdates();
        ScheduleFollowUp();  // not left to a long tick
      }
      DispatchReceivedEvents();
      inUpdateTick_ = false;
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
    case TIMER_SEND:
      OnSendTimer();
      break;
    default:
      break;
  }
}
