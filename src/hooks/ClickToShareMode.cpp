#include "hooks/ClickToShareMode.h"

#include "hooks/ReportSink.h"
#include "hooks/ZKHooks.h"

namespace zkhooks {
namespace {

enum ClickState : LONG { kIdle, kAwaitPress, kAwaitRelease };

volatile LONG g_state = kIdle;

bool Advance(ClickState from, ClickState to) {
  return InterlockedCompareExchange(&g_state, to, from) == from;
}

void ReportPickedWindow(POINT screenPoint) {
  PendingReport report;
  HWND under = WindowFromPoint(screenPoint);
  HWND picked = under ? GetAncestor(under, GA_ROOT) : nullptr;
  report.Post(WM_ZKHOOK_CLICKED, reinterpret_cast<WPARAM>(picked), 0);
}

}  // namespace

void ArmClickToShare() { InterlockedExchange(&g_state, kAwaitPress); }

void DisarmClickToShare() { InterlockedExchange(&g_state, kIdle); }

bool InterceptClickToShare(UINT message, POINT screenPoint) {
  if (message == WM_LBUTTONDOWN && Advance(kAwaitPress, kAwaitRelease)) {
    ReportPickedWindow(screenPoint);
    return true;
  }
  // The release of the picking click would reach the window as a stray
  // button-up without its press.
  return message == WM_LBUTTONUP && Advance(kAwaitRelease, kIdle);
}

}  // namespace zkhooks
