#include <algorithm>

#include "common/Trace.h"
#include "events/ProtocolMessages.h"
#include "hooks/ZKHooks.h"
#include "session/ZKWindow.h"

namespace {
// Ticks of the last injected button releases, to tell whether a received
// double click needs a click of its own in front of it.
DWORD g_lastLeftRelease = 0;
DWORD g_lastRightRelease = 0;

bool IsMove(UINT message) { return message == WM_MOUSEMOVE || message == WM_NCMOUSEMOVE; }

// The key messages that travel, both ways: a press and a release each. The
// rest of the keyboard range (characters, dead keys) is never sent, and would
// be replayed as a press with no release to follow it.
bool IsKeyMessage(uint32_t message) {
  return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN ||
         message == WM_SYSKEYUP;
}

// The headers' last number varies with the targeted system version: spelled out.
constexpr uint32_t kLastMouseMessage = 0x020E;

// What a peer may have replayed on this desktop: the mouse messages of a
// client area and of a frame (a viewer's frame produces those too). Anything
// else (WM_CLOSE, WM_DESTROY, WM_QUIT, private numbers) would be posted to a
// window of the peer's choosing.
bool IsRemoteMouseMessage(uint32_t message) {
  return (message >= WM_MOUSEFIRST && message <= kLastMouseMessage) ||
         (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

void TraceDropped(uint32_t message) {
  Trace(TRACE_WARNING, "\r\nRemote Input: Dropping Message %08x", message);
}

// Absolute mouse coordinates run from 0 to 65535 across the screen. Rounding
// up makes the system's conversion back land on the very pixel; truncating
// lands one pixel to the left for most positions.
LONG Normalise(LONG position, int screenSize) {
  if (position < 0 || screenSize <= 0) return position * 65536 / (screenSize > 0 ? screenSize : 1);
  return static_cast<LONG>((static_cast<int64_t>(position) * 65536 + screenSize - 1) / screenSize);
}

// Buttons carry the move flag too: without it the system ignores the
// coordinates and presses wherever the pointer is, while the viewer's move
// to the point may still wait for its input timer.
void Inject(DWORD flags, LONG x, LONG y) {
  mouse_event(flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, x, y, 0, 1);
}

void InjectButton(UINT message, LONG x, LONG y) {
  DWORD now = GetTickCount();
  switch (message) {
    case WM_MOUSEMOVE: case WM_NCMOUSEMOVE:
      Inject(MOUSEEVENTF_MOVE, x, y);
      break;
    case WM_LBUTTONDOWN: case WM_NCLBUTTONDOWN:
      Inject(MOUSEEVENTF_LEFTDOWN, x, y);
      break;
    case WM_LBUTTONUP: case WM_NCLBUTTONUP:
      g_lastLeftRelease = now;
      Inject(MOUSEEVENTF_LEFTUP, x, y);
      break;
    case WM_LBUTTONDBLCLK: case WM_NCLBUTTONDBLCLK:
      if (now - g_lastLeftRelease > GetDoubleClickTime()) {
        Inject(MOUSEEVENTF_LEFTDOWN, x, y);
        Inject(MOUSEEVENTF_LEFTUP, x, y);
      }
      Inject(MOUSEEVENTF_LEFTDOWN, x, y);
      break;
    case WM_RBUTTONDOWN: case WM_NCRBUTTONDOWN:
      Inject(MOUSEEVENTF_RIGHTDOWN, x, y);
      break;
    case WM_RBUTTONUP: case WM_NCRBUTTONUP:
      g_lastRightRelease = now;
      Inject(MOUSEEVENTF_RIGHTUP, x, y);
      break;
    case WM_RBUTTONDBLCLK: case WM_NCRBUTTONDBLCLK:
      if (now - g_lastRightRelease > GetDoubleClickTime()) {
        Inject(MOUSEEVENTF_RIGHTDOWN, x, y);
        Inject(MOUSEEVENTF_RIGHTUP, x, y);
      }
      Inject(MOUSEEVENTF_RIGHTDOWN, x, y);
      break;
    default:
      break;  // middle-button messages are not replayed
  }
}
}  // namespace

void ZKWindow::EnableInputControl(bool on, uint32_t token) {
  if (on) {
    inputControlToken_ = token;
    roleFlags_ |= ROLE_INPUT_CONTROL;
  } else {
    roleFlags_ &= ~ROLE_INPUT_CONTROL;  // the token stays: it still ranks later ones
  }
}

void ZKWindow::OnMouseInput(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!(roleFlags_ & (ROLE_CAPTURE | ROLE_INPUT_CONTROL)) || annotationModeActive_) return;
  int32_t x = static_cast<int16_t>(LOWORD(lParam)) + GetScrollX() - GetMarginX();
  int32_t y = static_cast<int16_t>(HIWORD(lParam)) + GetScrollY() - GetMarginY();
  PackedPoint point = {static_cast<int16_t>(x), static_cast<int16_t>(y)};
  if (IsMove(message)) {
    // Moves go out paced by the input timer, the latest one only. On demand,
    // the first move after a quiet spell starts it; the later ones must not
    // put it off.
    if (inputTimerOnDemand_ && pendingMoveSent_ && inputInterval_)
      SetTimer(window_, TIMER_INPUT, inputInterval_, nullptr);
    pendingMove_ = point;
    pendingMoveSent_ = 0;
    return;
  }
  SendPointer(message, static_cast<uint32_t>(wParam), point);
}

void ZKWindow::OnInputTick() {
  // On demand the timer stops with each move sent: the next move starts it,
  // an interval on, so that moves still go out at most once an interval.
  if (inputTimerOnDemand_) KillTimer(window_, TIMER_INPUT);
  if (pendingMoveSent_) return;
  pendingMoveSent_ = 1;
  SendPointer(WM_MOUSEMOVE, 0, pendingMove_);
}

void ZKWindow::SendPointer(UINT message, uint32_t wParam, PackedPoint point) {
  const MouseMessage mouse = {inputControlToken_, message, wParam, point};
  if ((roleFlags_ & ROLE_INPUT_CONTROL) && !(roleFlags_ & ROLE_CAPTURE))
    QueueMessage(ZKP_MOUSEUPDATE, mouse);
  if (roleFlags_ & ROLE_CAPTURE) {
    QueueMessage(ZKP_MOUSEPOSITION, mouse);
    pointerX_ = point.x;
    pointerY_ = point.y;
  }
}

void ZKWindow::OnKeyInput(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!IsKeyMessage(message) || !(roleFlags_ & ROLE_INPUT_CONTROL) || annotationModeActive_)
    return;
  QueueMessage(ZKP_KEYBOARDUPDATE,
               KeyboardMessage{inputControlToken_, message, static_cast<uint32_t>(wParam),
                               static_cast<uint32_t>(lParam)});
}

POINT ZKWindow::ClampToPicture(PackedPoint point) const {
  // A viewer only points inside the picture it sees. Clamping rather than
  // dropping keeps the release that ends a drag which left the picture.
  RECT client;
  GetClientRect(window_, &client);
  POINT p = {std::clamp<LONG>(point.x, 0, std::max<LONG>(client.right - 1, 0)),
             std::clamp<LONG>(point.y, 0, std::max<LONG>(client.bottom - 1, 0))};
  return p;
}

void ZKWindow::OnMouseUpdate(const MouseMessage& mouse) {
  if (displayMode_ != ZKM_CAPTURE || !CheckInputToken(mouse.token, false)) return;
  POINT p = ClampToPicture(mouse.point);
  ClientToScreen(window_, &p);

  bool localMouseRecent = GetTickCount() - ZKHooks_GetLastLocalMouseTicks() <= localMouseOverride_;
  if (lightInputControl_ || localMouseRecent) {
    // Leave the presenter's own pointer where it is: post to the window under the point.
    if (!IsRemoteMouseMessage(mouse.message)) return TraceDropped(mouse.message);
    HWND target = WindowFromPoint(p);
    if (!target) return;
    ScreenToClient(target, &p);
    PostMessageA(target, mouse.message, mouse.wParam, MAKELPARAM(p.x, p.y));
    return;
  }
  InjectButton(mouse.message, Normalise(p.x, GetSystemMetrics(SM_CXSCREEN)),
               Normalise(p.y, GetSystemMetrics(SM_CYSCREEN)));
}

void ZKWindow::OnKeyboardUpdate(const KeyboardMessage& key) {
  if (displayMode_ != ZKM_CAPTURE || !CheckInputToken(key.token, false)) return;
  if (!IsKeyMessage(key.message)) return TraceDropped(key.message);
  if (lightInputControl_) {
    HWND focused = ZKHooks_GetFocusedWindow();
    if (focused) PostMessageA(focused, key.message, key.wParam, key.lParam);
    return;
  }
  DWORD flags = 0;
  if (key.lParam & (1u << 24)) flags |= KEYEVENTF_EXTENDEDKEY;
  if (key.message == WM_KEYUP || key.message == WM_SYSKEYUP) flags |= KEYEVENTF_KEYUP;
  keybd_event(static_cast<BYTE>(key.wParam & 0xFF), static_cast<BYTE>((key.lParam >> 16) & 0xFF),
              flags, 0);
}

void ZKWindow::OnMousePosition(const MouseMessage& position) {
  if (displayMode_ == ZKM_CAPTURE) return;
  CheckInputToken(position.token, true);  // for its effect: the pointer is shown anyway
  InvalidatePointer();
  pointerX_ = position.point.x;
  pointerY_ = position.point.y;
  InvalidatePointer();
}

void ZKWindow::InvalidatePointer() {
  Rect r{pointerX_, pointerY_, pointerX_ + GetSystemMetrics(SM_CXCURSOR),
         pointerY_ + GetSystemMetrics(SM_CYCURSOR)};
  FrameToClient(&r);
  RECT area = {r.left, r.top, r.right, r.bottom};
  InvalidateWindow(window_, &area, FALSE, "ZKWindow::OnMousePosition");
}
