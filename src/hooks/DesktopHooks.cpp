#include "hooks/DesktopHooks.h"

#include "hooks/ProgramThreadHooks.h"
#include "hooks/ReportSink.h"
#include "hooks/ZKHooks.h"

namespace zkhooks {
namespace {

bool IsTopLevel(HWND window) {
  return window && !(GetWindowLongW(window, GWL_STYLE) & WS_CHILD);
}

bool IsMinimizeCommand(LPARAM showCommand) {
  switch (LOWORD(showCommand)) {
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
      return true;
    default:
      return false;
  }
}

// The session window's own changes are left out: the engine never shares it,
// and it hides and shows itself as its display mode changes, which a report
// would only echo back.
void ReportWindow(HWND window, UINT report, LPARAM value) {
  if (!IsTopLevel(window)) return;
  PendingReport pending;
  if (pending.Target() && pending.Target() != window) {
    pending.Post(report, reinterpret_cast<WPARAM>(window), value);
  }
}

bool CreatesTopLevel(LPARAM creation) {
  return !(reinterpret_cast<const CBT_CREATEWNDW*>(creation)->lpcs->style & WS_CHILD);
}

LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam) {
  HWND window = reinterpret_cast<HWND>(wParam);
  switch (code) {
    case HCBT_CREATEWND:
      if (CreatesTopLevel(lParam)) AskToBeWatched();
      break;
    case HCBT_ACTIVATE:
      AskToBeWatched();
      ReportWindow(window, WM_ZKHOOK_ACTIVATED, 0);
      break;
    case HCBT_MINMAX:
      if (IsMinimizeCommand(lParam)) ReportWindow(window, WM_ZKHOOK_CHANGED, ZKHOOK_CHANGE_MINIMIZED);
      break;
    case HCBT_DESTROYWND:
      ReportWindow(window, WM_ZKHOOK_DESTROYED, 0);
      break;
    default:
      break;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

// Every way of hiding a window (ShowWindow, SetWindowPos, DestroyWindow of a
// visible window) ends in a WM_WINDOWPOSCHANGED that carries SWP_HIDEWINDOW.
void ReportIfHidden(const CWPRETSTRUCT& call) {
  if (call.message == WM_WINDOWPOSCHANGED &&
      (reinterpret_cast<const WINDOWPOS*>(call.lParam)->flags & SWP_HIDEWINDOW)) {
    ReportWindow(call.hwnd, WM_ZKHOOK_HIDDEN, 0);
  }
}

bool InstallDesktopHook(HINSTANCE module, HookPair* hooks) {
  return hooks->Install(module, {WH_CBT, CbtProc}, {}, 0);
}

}  // namespace zkhooks
