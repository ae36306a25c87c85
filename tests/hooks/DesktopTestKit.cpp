#include "DesktopTestKit.h"

#include "hooks/ZKHooks.h"

namespace hooktest {
namespace {

const wchar_t kClassName[] = L"ZKHooksTestWindow";
constexpr UINT kFlushMarker = WM_APP + 0x77;
const char kXdotoolPath[] = "Z:\\usr\\bin\\xdotool";

bool Logged(UINT message) {
  if (message >= WM_ZKHOOK_DRAWN && message <= WM_ZKHOOK_ACTIVATED) return true;
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case kFlushMarker:
      return true;
    default:
      return false;
  }
}

void RegisterOnce(WNDPROC proc) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = proc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassW(&windowClass);  // fails harmlessly when already registered
}

}  // namespace

size_t MessageLog::Count(const std::function<bool(const Seen&)>& match) const {
  size_t count = 0;
  for (const Seen& seen : seen_) count += match(seen) ? 1 : 0;
  return count;
}

const Seen* MessageLog::Find(const std::function<bool(const Seen&)>& match) const {
  for (const Seen& seen : seen_) {
    if (match(seen)) return &seen;
  }
  return nullptr;
}

std::vector<Seen> MessageLog::Select(const std::function<bool(const Seen&)>& match) const {
  std::vector<Seen> selected;
  for (const Seen& seen : seen_) {
    if (match(seen)) selected.push_back(seen);
  }
  return selected;
}

RecordingWindow::RecordingWindow(MessageLog& log, const RECT& rect, HWND parent) : log_(log) {
  RegisterOnce(&RecordingWindow::Proc);
  DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_OVERLAPPEDWINDOW | WS_VISIBLE;
  window_ = CreateWindowExW(0, kClassName, L"hooks test", style, rect.left, rect.top,
                            rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                            GetModuleHandleW(nullptr), this);
  if (window_) UpdateWindow(window_);
}

RecordingWindow::~RecordingWindow() {
  if (window_ && IsWindow(window_)) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

POINT RecordingWindow::ScreenCentre() const {
  RECT client;
  GetClientRect(window_, &client);
  POINT centre = {client.right / 2, client.bottom / 2};
  ClientToScreen(window_, &centre);
  return centre;
}

LRESULT CALLBACK RecordingWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && Logged(message)) self->log_.Add({window, message, wParam, lParam});
  if (self && message == WM_ZKHOOK_DRAWN) self->TakeDrawnAreas();
  return DefWindowProcW(window, message, wParam, lParam);
}

void RecordingWindow::TakeDrawnAreas() {
  RECT areas[ZKHOOK_DRAWN_AREAS];
  const UINT count = ZKHooks_TakeDrawnAreas(window_, areas, ZKHOOK_DRAWN_AREAS);
  for (UINT i = 0; i < count; ++i) {
    const RECT& r = areas[i];
    log_.Add({window_, WM_ZKHOOK_DRAWN, MAKEWPARAM(r.left, r.top), MAKELPARAM(r.right, r.bottom)});
  }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
      if (done()) return true;
    }
    if (done()) return true;
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
  }
}

bool AwaitQueued(HWND window, UINT first, UINT last, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    if (PeekMessageW(&message, window, first, last, PM_NOREMOVE)) return true;
    while (PeekMessageW(&message, nullptr, 0, first - 1, PM_REMOVE) ||
           PeekMessageW(&message, nullptr, last + 1, 0xFFFFFFFF, PM_REMOVE)) {
      DispatchMessageW(&message);
    }
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    // A report that came while the other messages were taken counts as seen
    // already; only an input-available wait returns for it.
    MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

bool RecordingWindow::FlushPosted() {
  static WPARAM serial = 0;
  WPARAM mine = ++serial;
  if (!PostMessageW(window_, kFlushMarker, mine, 0)) return false;
  return PumpUntil([&] {
    return log_.Find([&](const Seen& seen) {
      return seen.message == kFlushMarker && seen.wParam == mine;
    }) != nullptr;
  });
}

bool HaveXdotool() { return GetFileAttributesA(kXdotoolPath) != INVALID_FILE_ATTRIBUTES; }

bool RunXdotool(const std::string& arguments) {
  std::string command = std::string(kXdotoolPath) + " " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  // A Unix program gets no Windows process handles.
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  return true;
}

}  // namespace hooktest
