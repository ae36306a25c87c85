#include "hooks/InputHooks.h"

#include <cstdint>

#include "hooks/ClickToShareMode.h"
#include "hooks/KeyMessageParam.h"
#include "hooks/ReportSink.h"
#include "hooks/ZKHooks.h"

namespace zkhooks {
namespace {

volatile LONG g_lastLocalMouseTicks = 0;
// Which virtual keys are held, to tell a first press from auto-repeat.
// Touched by the keyboard hook only, hence by the hook thread that runs it.
bool g_keyHeld[256] = {};

LPARAM PackClientPoint(HWND session, POINT screenPoint) {
  ScreenToClient(session, &screenPoint);
  return static_cast<LPARAM>(static_cast<uint16_t>(screenPoint.x) |
                             static_cast<uint32_t>(static_cast<uint16_t>(screenPoint.y)) << 16);
}

LRESULT CALLBACK MouseProc(int code, WPARAM message, LPARAM data) {
  if (code == HC_ACTION) {
    const auto* mouse = reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
    if (!(mouse->flags & LLMHF_INJECTED)) {
      InterlockedExchange(&g_lastLocalMouseTicks, static_cast<LONG>(GetTickCount()));
    }
    if (InterceptClickToShare(static_cast<UINT>(message), mouse->pt)) return 1;
    PendingReport report;
    if (report.Target()) {
      report.Post(WM_ZKHOOK_MOUSE, message, PackClientPoint(report.Target(), mouse->pt));
    }
  }
  return CallNextHookEx(nullptr, code, message, data);
}

LPARAM TrackKeyStroke(const KBDLLHOOKSTRUCT& key) {
  bool& held = g_keyHeld[key.vkCode & 0xFF];
  KeyStroke stroke{};
  stroke.scanCode = key.scanCode;
  stroke.extended = (key.flags & LLKHF_EXTENDED) != 0;
  stroke.altDown = (key.flags & LLKHF_ALTDOWN) != 0;
  stroke.release = (key.flags & LLKHF_UP) != 0;
  stroke.wasDown = held;
  held = !stroke.release;
  return static_cast<LPARAM>(KeyMessageParam(stroke));
}

LRESULT CALLBACK KeyboardProc(int code, WPARAM message, LPARAM data) {
  if (code == HC_ACTION) {
    LPARAM param = TrackKeyStroke(*reinterpret_cast<const KBDLLHOOKSTRUCT*>(data));
    PendingReport report;
    report.Post(WM_ZKHOOK_KEY, message, param);
  }
  return CallNextHookEx(nullptr, code, message, data);
}

}  // namespace

bool InstallInputHooks(HINSTANCE module, HookPair* hooks) {
  // Keys held while no hook watched were never seen going up.
  for (bool& held : g_keyHeld) held = false;
  return hooks->Install(module, {WH_MOUSE_LL, MouseProc}, {WH_KEYBOARD_LL, KeyboardProc});
}

DWORD LastLocalMouseTicks() {
  return static_cast<DWORD>(InterlockedCompareExchange(&g_lastLocalMouseTicks, 0, 0));
}

}  // namespace zkhooks
