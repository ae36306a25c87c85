// The engine behind the Java natives inside ZK.dll: every call goes to the
// exported function a native host would call, plus the two things only the
// Java host needs, finding its own window and checking a window's title
// before sharing it.

#include <windows.h>

#include <cstring>

#include "ZK.h"
#include "api/JavaEngine.h"

namespace {
constexpr char kCollaborationWindowTitle[] = "Morvane Collaboration";
// Titles are read as the Java host's window was always looked for: into 80
// characters, so at most 79 of them.
constexpr int kTitleCapacity = 80;

class ExportedFunctionsEngine final : public JavaEngine {
 public:
  bool Init() override {
    FindCollaborationWindow();
    ZK_SetParentWindow(collaborationWindow_);
    return ZK_Init(collaborationWindow_) != 0;
  }
  bool Release() override { return ZK_Release() != 0; }
  bool EnableCapture(bool enable, uint32_t token) override {
    return ZK_EnableCapture(enable, token) != 0;
  }
  bool PauseCapture(bool pause) override { return ZK_PauseCapture(pause) != 0; }
  bool EnableInputControl(bool enable, uint32_t token) override {
    return ZK_EnableInputControl(enable, token) != 0;
  }
  bool EnableAnnotation(bool enable) override { return ZK_EnableAnnotation(enable) != 0; }
  bool SetPosition(uint32_t x, uint32_t y, uint32_t width, uint32_t height, bool show) override {
    return ZK_SetPosition(x, y, width, height, show) != 0;
  }
  bool WaitForEvents(uint32_t timeoutMs) override { return ZK_WaitForEvents(timeoutMs) != 0; }
  bool GetQueuedEvent(Event* out) override { return ZK_GetQueuedEvent(out) != 0; }
  bool PostEvent(const Event& event) override { return ZK_PostEvent(&event) != 0; }
  bool RequestFullUpdate(uint32_t requestId) override {
    return ZK_RequestFullUpdate(requestId) != 0;
  }
  // Unlike ZK_ClickToShare, never starts the click-to-pick mode: a null
  // handle has no title. A handle that names no window has none either.
  bool ClickToShare(uint32_t window, uint32_t reason) override {
    HWND handle = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
    char title[kTitleCapacity] = {};
    if (GetWindowTextA(handle, title, kTitleCapacity) == 0) return false;
    return ZK_ClickToShare(handle, reason) != 0;
  }
  bool AddHighlight() override { return ZK_AddHighlight() != 0; }
  bool AddMarker(uint32_t colour) override { return ZK_AddMarker(colour) != 0; }
  bool ClearAnnotation() override { return ZK_ClearAnnotation() != 0; }

 private:
  // The first top-level window of this process titled exactly
  // kCollaborationWindowTitle, or null.
  void FindCollaborationWindow() {
    processId_ = GetCurrentProcessId();
    collaborationWindow_ = nullptr;
    EnumWindows(&ExportedFunctionsEngine::OfferWindow, reinterpret_cast<LPARAM>(this));
  }

  static BOOL CALLBACK OfferWindow(HWND window, LPARAM self) {
    return reinterpret_cast<ExportedFunctionsEngine*>(self)->Consider(window) ? FALSE : TRUE;
  }

  bool Consider(HWND window) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != processId_) return false;
    char title[kTitleCapacity] = {};
    GetWindowTextA(window, title, kTitleCapacity);
    if (std::strcmp(title, kCollaborationWindowTitle) != 0) return false;
    collaborationWindow_ = window;
    return true;
  }

  DWORD processId_ = 0;
  HWND collaborationWindow_ = nullptr;
};

ExportedFunctionsEngine g_engine;
}  // namespace

JavaEngine& TheJavaEngine() { return g_engine; }
