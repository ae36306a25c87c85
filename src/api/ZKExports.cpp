// Defined against the declarations hosts compile with, so that an export
// cannot drift from what ZK.h promises.
#include "ZK.h"

#include "compression/DecodeFailureMessageBox.h"
#include "session/ZKWindow.h"

namespace {
// The one session object, built when the library is loaded.
ZKWindow g_session;
HINSTANCE g_module = nullptr;

// Booleans arrive as whatever the host's compiler left in the register: only
// the low byte counts.
uint8_t LowByte(uint32_t value) { return static_cast<uint8_t>(value & 0xFF); }

// PostMessage to a null window posts to the caller's own queue and succeeds,
// so a missing session window is checked here.
ZKBool PostToSession(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = g_session.GetWindow();
  if (!window || !IsWindow(window)) return 0;
  return PostMessageA(window, message, wParam, lParam) ? 1 : 0;
}
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = module;
    InstallMessageBoxDecodeFailureReporter();
  } else if (reason == DLL_PROCESS_DETACH) {
    // Runs before the session object's destructor: a host that unloads the
    // library without ZK_Release still has its session ended and gets its
    // FreeLibrary back. A reserved pointer means the process is exiting.
    g_session.Unload(reserved != nullptr);
  }
  return TRUE;
}

ZKBool ZK_Init(HWND parent) { return g_session.Init(g_module, parent) ? 1 : 0; }

ZKBool ZK_Release(void) { return g_session.Release() ? 1 : 0; }

ZKBool ZK_EnableCapture(uint32_t enable, uint32_t captureToken) {
  return PostToSession(WM_ZK_ENABLECAPTURE, LowByte(enable), captureToken);
}

ZKBool ZK_PauseCapture(uint32_t pause) {
  return PostToSession(WM_ZK_PAUSECAPTURE, LowByte(pause), 0);
}

ZKBool ZK_EnableInputControl(uint32_t enable, uint32_t inputToken) {
  return PostToSession(WM_ZK_ENABLEINPUTCONTROL, LowByte(enable), inputToken);
}

ZKBool ZK_EnableAnnotation(uint32_t enable) {
  return PostToSession(WM_ZK_ENABLEANNOTATION, LowByte(enable), 0);
}

ZKBool ZK_SetPosition(uint32_t x, uint32_t y, uint32_t width, uint32_t height, uint32_t show) {
  return g_session.SetPosition(x, y, width, height, LowByte(show) != 0) ? 1 : 0;
}

ZKBool ZK_WaitForEvents(uint32_t timeoutMs) { return g_session.WaitForEvents(timeoutMs) ? 1 : 0; }

ZKBool ZK_GetQueuedEvent(Event* out) { return g_session.GetQueuedEvent(out) ? 1 : 0; }

ZKBool ZK_PostEvent(const Event* in) { return g_session.PostReceivedEvent(in) ? 1 : 0; }

ZKBool ZK_RequestFullUpdate(uint32_t requestId) {
  return PostToSession(WM_ZK_REQUESTFULLUPDATE, requestId, 0);
}

ZKBool ZK_ClickToShare(HWND window, uint32_t reason) {
  if (window && !IsWindow(window)) return 0;
  return PostToSession(WM_ZK_CLICKTOSHARE, reinterpret_cast<WPARAM>(window), reason);
}

ZKBool ZK_SetPollFrequency(uint32_t intervalMs, uint32_t exclusive, uint32_t bands) {
  return g_session.SetPollFrequency(intervalMs, LowByte(exclusive) != 0, bands) ? 1 : 0;
}

ZKBool ZK_SetUpdateFrequency(uint32_t intervalMs) {
  return g_session.SetUpdateFrequency(intervalMs) ? 1 : 0;
}

ZKBool ZK_SetInputUpdateFrequency(uint32_t intervalMs) {
  return g_session.SetInputUpdateFrequency(intervalMs) ? 1 : 0;
}

ZKBool ZK_AddHighlight(void) { return PostToSession(WM_ZK_ADDHIGHLIGHT, 0, 0); }

ZKBool ZK_AddMarker(uint32_t colour) { return PostToSession(WM_ZK_ADDMARKER, colour, 0); }

ZKBool ZK_ClearAnnotation(void) { return PostToSession(WM_ZK_CLEARANNOTATION, 0, 0); }

ZKBool ZK_SetParentWindow(HWND parent) { return g_session.SetParentWindow(parent) ? 1 : 0; }
