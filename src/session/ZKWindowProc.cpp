#include "common/Trace.h"
#include "hooks/ZKHooks.h"
#include "resources/resource.h"
#include "session/ZKWindow.h"

namespace {
constexpr UINT kZOrderAsync = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS;

// The last pointer position seen in a move message, shared by client and
// non-client moves so that the pair the system sends for one move counts once.
LPARAM g_lastPointerPosition = 0;

int FloorHalf(int value) { return value >> 1; }
}  // namespace

HWND GetTopLevelWindow(HWND window) {
  HWND top = window;
  for (HWND parent = GetParent(top); parent; parent = GetParent(top)) top = parent;
  return top;
}

BOOL InvalidateWindow(HWND window, const RECT* rect, BOOL erase, const char* callerName) {
  (void)callerName;
  return InvalidateRect(window, rect, erase);
}

LRESULT CALLBACK ZKWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<ZKWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self && self->HandleMessage(window, message, wParam, lParam)) return 1;
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT ZKWindow::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  bool handled = false;
  LRESULT result = HandleStandardMessage(window, message, wParam, lParam, &handled);
  if (handled) return result;
  result = HandlePrivateMessage(message, wParam, lParam, &handled);
  if (handled) RunStarvedUpdateTick();
  return result;
}

LRESULT ZKWindow::HandleStandardMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        bool* handled) {
  *handled = true;
  switch (message) {
    case WM_DESTROY:
      Trace(TRACE_LIFECYCLE, "\r\nZKWindow:WM_DESTROY");
      Destroy();
      PostQuitMessage(0);
      windowDestroyed_ = true;
      return 0;
    case WM_MOVE:
      OnMove();
      if (showStatistics_) statistics_.KeepClearOfOwner();
      return 0;
    case WM_SIZE:
      OnSize(static_cast<UINT>(wParam));
      if (showStatistics_) statistics_.KeepClearOfOwner();
      return 0;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_ERASEBKGND:
      return OnEraseBkgnd(reinterpret_cast<HDC>(wParam)) ? 1 : 0;
    case WM_WINDOWPOSCHANGING:
      RoundWindowWidth(reinterpret_cast<WINDOWPOS*>(lParam));
      return 0;
    case WM_NCMOUSEMOVE:
    case WM_MOUSEMOVE:
      OnPointerMove(message, wParam, lParam);
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
      AnnotationMgr::OnInput(message, wParam, lParam);
      OnKeyInput(message, wParam, lParam);
      return 0;
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      OnKeyInput(message, wParam, lParam);
      return 0;
    case WM_SYSCOMMAND:
      // Alt alone must never open the window menu: keys belong to the presenter.
      return (wParam & 0xFFF0) == SC_KEYMENU ? 1 : 0;
    case WM_TIMER:
      OnTimer(wParam);
      if (showStatistics_) statistics_.RefreshPeriodically();
      return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
      OnScroll(message == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(wParam));
      return 0;
    case WM_ENTERSIZEMOVE:
      inSizeMove_ = 1;
      return 0;
    case WM_EXITSIZEMOVE:
      inSizeMove_ = 0;
      return 0;
    default:
      break;
  }
  if (message >= WM_LBUTTONDOWN && message <= WM_MBUTTONDBLCLK) {
    OnMouseInput(message, wParam, lParam);
    AnnotationMgr::OnInput(message, 0, lParam);
    return 0;
  }
  (void)window;
  *handled = false;
  return 0;
}

LRESULT ZKWindow::HandlePrivateMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                       bool* handled) {
  *handled = true;
  HWND subject = reinterpret_cast<HWND>(wParam);
  switch (message) {
    case WM_ZK_DIRTYRECT:
      OnScreenChanged(wParam, lParam);
      TakeDrawnAreas();
      ScheduleReportedSend();
      break;
    case WM_ZKHOOK_MOUSE:
      OnMouseInput(static_cast<UINT>(wParam), 0, lParam);
      break;
    case WM_ZKHOOK_KEY:
      AnnotationMgr::OnInput(static_cast<UINT>(wParam), 0, lParam);
      OnKeyInput(static_cast<UINT>(wParam), 0, lParam);
      break;
    case WM_ZKHOOK_CLICKED:
      UpdateWindow(subject, 0, false);
      SetDisplayMode();
      SetPalettePending(true);
      break;
    case WM_ZKHOOK_DESTROYED:
    case WM_ZKHOOK_HIDDEN:
      // Windows come and go all over the desktop: only a shared one matters.
      if (RemoveWindow(subject)) SetDisplayMode();
      break;
    case WM_ZKHOOK_CHANGED:
      WindowChanged(subject, static_cast<uint32_t>(lParam));
      break;
    case WM_ZKHOOK_ACTIVATED:
      FollowActivation(subject);
      break;
    case WM_ZK_ENABLECAPTURE:
      EnableCapture(wParam != 0, static_cast<uint32_t>(lParam));
      break;
    case WM_ZK_PAUSECAPTURE:
      PauseCapture(wParam != 0);
      break;
    case WM_ZK_REQUESTFULLUPDATE:
      RequestFullUpdate(static_cast<uint32_t>(wParam));
      break;
    case WM_ZK_CLICKTOSHARE:
      ClickToShare(subject, static_cast<uint32_t>(lParam));
      break;
    case WM_ZK_ENABLEINPUTCONTROL:
      EnableInputControl(wParam != 0, static_cast<uint32_t>(lParam));
      break;
    case WM_ZK_ADDHIGHLIGHT:
      AddHighlight();
      break;
    case WM_ZK_ADDMARKER:
      AddMarker(static_cast<uint32_t>(wParam));
      break;
    case WM_ZK_CLEARANNOTATION:
      ClearAnnotation();
      break;
    case WM_ZK_POLL:
      setterPollPosted_ = false;  // before the settings are read: a newer setter posts again
      OnPoll(static_cast<int>(wParam));
      ScheduleReportedSend();  // with a long update tick, what a poll finds goes on at once
      break;
    case WM_ZK_DISPATCH:
      dispatchPosted_ = false;  // before the pass: events handed in during it post again
      DispatchReceivedEvents();
      break;
    case WM_ZK_RESTARTTIMER:
      RestartTimer(static_cast<UINT_PTR>(wParam));
      break;
    case WM_ZK_ENABLEANNOTATION:
      EnableAnnotation(wParam != 0);
      break;
    default:
      *handled = false;
      break;
  }
  // Private messages still get default processing, which ignores them.
  return 0;
}

void ZKWindow::TakeDrawnAreas() {
  // While a drawing report waits in this queue the hooks post no other; what
  // was drawn meanwhile comes with it. (Taken for the window's own paint
  // reports too, which share the number: that only hands it over sooner.)
  RECT areas[ZKHOOK_DRAWN_AREAS];
  const UINT count = ZKHooks_TakeDrawnAreas(window_, areas, ZKHOOK_DRAWN_AREAS);
  for (UINT i = 0; i < count; ++i) {
    const RECT& r = areas[i];
    OnScreenChanged(MAKEWPARAM(r.left, r.top), MAKELPARAM(r.right, r.bottom));
  }
}

void ZKWindow::RoundWindowWidth(WINDOWPOS* position) {
  if (position->cx <= 0) return;
  RECT window, client;
  GetWindowRect(window_, &window);
  GetClientRect(window_, &client);
  int frame = FloorHalf((window.right - window.left) - (client.right - client.left));
  // The client width becomes the next multiple of 4: frames are 4-pixel aligned.
  position->cx = ((position->cx - 2 * frame + 3) & ~3) + 2 * frame;
}

void ZKWindow::OnPointerMove(UINT message, WPARAM wParam, LPARAM lParam) {
  if (lParam == g_lastPointerPosition) return;
  g_lastPointerPosition = lParam;
  OnMouseInput(message, wParam, lParam);
  AnnotationMgr::OnInput(message, 0, lParam);
}

void ZKWindow::FollowActivation(HWND activated) {
  if (displayMode_ != ZKM_CAPTURE || GetWindowCount() == 0) return;
  HWND top = GetTopLevelWindow(activated);
  HWND primary = GetPrimaryWindow();
  if (top == parent_) {
    SetWindowPos(primary, window_, 0, 0, 0, 0, kZOrderAsync);
  } else if (top == primary && !IsIconic(primary)) {
    // Both placements together leave the session window where the primary
    // window was, with the primary window directly beneath it.
    SetWindowPos(window_, primary, 0, 0, 0, 0, kZOrderAsync);
    SetWindowPos(primary, window_, 0, 0, 0, 0, kZOrderAsync);
  }
}

INT_PTR CALLBACK ZKWindow::AnnotationDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
    return FALSE;
  }
  auto* self = reinterpret_cast<ZKWindow*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
  if (self && message == WM_COMMAND && LOWORD(wParam) == IDC_CANCEL_ANNOTATION &&
      (self->roleFlags_ & ROLE_ANNOTATION))
    self->AnnotationMode(0, true);
  return FALSE;
}

bool ZKWindow::SetInputUpdateFrequency(uint32_t intervalMs) {
  if (intervalMs == 0) return false;
  inputInterval_ = intervalMs;
  RestartTimerOnWorker(TIMER_INPUT);
  return true;
}

bool ZKWindow::SetParentWindow(HWND parent) {
  parent_ = parent;
  SubclassHost(parent);
  HWND window = window_;
  if (window) SetWindowLongPtrA(window, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(parent));
  SetStackAnchor(window);
  return true;
}
