#include "SessionSpy.h"

#include "session/ProcessCensus.h"

namespace {
// Message numbers the library does not handle: default processing ignores them.
constexpr UINT kMarker = WM_APP + 0x2A5;
constexpr UINT kHold = WM_APP + 0x2A6;

SessionSpy* g_spy = nullptr;

bool IsMarker(const SessionSpy::Record& r) { return r.message == kMarker; }
}  // namespace

HWND FindSessionWindow() {
  DWORD self = GetCurrentProcessId();
  for (HWND w = FindWindowExA(nullptr, nullptr, "Morvane Zenkast", nullptr); w;
       w = FindWindowExA(nullptr, w, "Morvane Zenkast", nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == self) return w;
  }
  return nullptr;
}

SessionSpy::SessionSpy()
    : held_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      letGo_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

SessionSpy::~SessionSpy() {
  Detach();
  CloseHandle(held_);
  CloseHandle(letGo_);
}

bool SessionSpy::Attach(HWND sessionWindow) {
  Detach();
  window_ = sessionWindow;
  threadId_ = GetWindowThreadProcessId(sessionWindow, nullptr);
  if (!threadId_ || g_spy) return false;
  g_spy = this;
  getMessageHook_ = SetWindowsHookExA(WH_GETMESSAGE, OnGetMessage, nullptr, threadId_);
  callWindowProcHook_ = SetWindowsHookExA(WH_CALLWNDPROC, OnCallWindowProc, nullptr, threadId_);
  return getMessageHook_ && callWindowProcHook_;
}

void SessionSpy::Detach() {
  LetGo();
  if (getMessageHook_) UnhookWindowsHookEx(getMessageHook_);
  if (callWindowProcHook_) UnhookWindowsHookEx(callWindowProcHook_);
  getMessageHook_ = callWindowProcHook_ = nullptr;
  if (g_spy == this) g_spy = nullptr;
  threadId_ = 0;
  window_ = nullptr;
}

LRESULT CALLBACK SessionSpy::OnGetMessage(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && (wParam & PM_REMOVE) && g_spy) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (msg->message == kHold) {
      SignalObjectAndWait(g_spy->held_, g_spy->letGo_, INFINITE, FALSE);
    } else {
      g_spy->Add(Record{msg->message, msg->wParam, msg->lParam, false});
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK SessionSpy::OnCallWindowProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && g_spy) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    g_spy->Add(Record{call->message, call->wParam, call->lParam, true});
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void SessionSpy::Add(const Record& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.push_back(record);
}

bool SessionSpy::Fence(DWORD timeoutMs) {
  WPARAM marker = nextMarker_++;
  if (!PostMessageA(window_, kMarker, marker, 0)) return false;
  return PumpUntil(
      [&] {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Record& r : records_)
          if (IsMarker(r) && !r.sent && r.wParam == marker) return true;
        return false;
      },
      timeoutMs);
}

bool SessionSpy::Hold(DWORD timeoutMs) {
  ResetEvent(letGo_);
  if (!PostMessageA(window_, kHold, 0, 0)) return false;
  // The worker may send to this thread's windows on its way to the hold.
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD spent = GetTickCount() - start;
    const DWORD woke = MsgWaitForMultipleObjects(1, &held_, FALSE,
                                                 spent < timeoutMs ? timeoutMs - spent : 0,
                                                 QS_SENDMESSAGE);
    if (woke != WAIT_OBJECT_0 + 1) return woke == WAIT_OBJECT_0;
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void SessionSpy::LetGo() { SetEvent(letGo_); }

bool SessionSpy::PostTick(UINT_PTR timerId) const {
  return PostMessageA(window_, WM_TIMER, timerId, 0) != FALSE;
}

void SessionSpy::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.clear();
}

std::vector<SessionSpy::Record> SessionSpy::Select(
    bool sent, const std::function<bool(const Record&)>& match) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Record> selected;
  for (const Record& r : records_)
    if (r.sent == sent && !IsMarker(r) && match(r)) selected.push_back(r);
  return selected;
}

std::vector<SessionSpy::Record> SessionSpy::Taken(
    const std::function<bool(const Record&)>& match) const {
  return Select(false, match);
}

std::vector<SessionSpy::Record> SessionSpy::Sent(
    const std::function<bool(const Record&)>& match) const {
  return Select(true, match);
}

bool SessionSpy::AwaitTaken(const std::function<bool(const Record&)>& match, size_t count,
                            DWORD timeoutMs) const {
  return PumpUntil([&] { return Taken(match).size() >= count; }, timeoutMs);
}
