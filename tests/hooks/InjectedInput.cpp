#include "InjectedInput.h"

namespace hooktest {

void InjectAbsoluteMove(POINT screenPoint) {
  int width = GetSystemMetrics(SM_CXSCREEN);
  int height = GetSystemMetrics(SM_CYSCREEN);
  // Rounded up: the system maps back with floor(dx * width / 65536).
  DWORD dx = static_cast<DWORD>((screenPoint.x * 65536LL + width - 1) / width);
  DWORD dy = static_cast<DWORD>((screenPoint.y * 65536LL + height - 1) / height);
  mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, dx, dy, 0, 0);
}

void InjectKey(BYTE virtualKey, BYTE scanCode, bool extended, bool release) {
  DWORD flags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (release ? KEYEVENTF_KEYUP : 0);
  keybd_event(virtualKey, scanCode, flags, 0);
}

}  // namespace hooktest
