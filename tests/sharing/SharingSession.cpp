#include "SharingSession.h"

#include "InjectedInput.h"
#include "events/SharingMessages.h"
#include "session/ProcessCensus.h"

namespace {
constexpr uint32_t kCaptureToken = 7;
constexpr DWORD kProgramStartMs = 15000;

struct ProgramSearch {
  DWORD process;
  HWND found;
};

BOOL CALLBACK ConsiderWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<ProgramSearch*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != search->process || !IsWindowVisible(window) || GetWindow(window, GW_OWNER))
    return TRUE;
  search->found = window;
  return FALSE;
}
}  // namespace

OtherProgram::~OtherProgram() { Kill(); }

bool OtherProgram::Start(int showCommand) {
  wchar_t command[] = L"notepad.exe";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showCommand);
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process_))
    return false;
  WaitForInputIdle(process_.hProcess, kProgramStartMs);
  ProgramSearch search = {process_.dwProcessId, nullptr};
  PumpUntil(
      [&] {
        EnumWindows(ConsiderWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      kProgramStartMs);
  window_ = search.found;
  return window_ != nullptr;
}

bool OtherProgram::Close() {
  if (!process_.hProcess) return false;
  PostMessageW(window_, WM_CLOSE, 0, 0);
  return AwaitEnd();
}

bool OtherProgram::Kill() {
  if (!process_.hProcess) return false;
  TerminateProcess(process_.hProcess, 0);
  return AwaitEnd();
}

bool OtherProgram::AwaitEnd() {
  bool ended = PumpUntil([&] { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; },
                         kProgramStartMs);
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
  process_ = PROCESS_INFORMATION{};
  return ended;
}

std::ostream& operator<<(std::ostream& os, const SharedReport& r) {
  return os << "{" << r.code << ", " << r.window << " \"" << r.title << "\"}";
}

::testing::AssertionResult SharingSession::StartPresenter(const char* config, HWND parent) {
  ::testing::AssertionResult started = Start(config, parent);
  if (!started) return started;
  ::testing::AssertionResult shown = ShowAt(kFrameX, kFrameY, kFrameWidth, kFrameHeight);
  if (!shown) return shown;
  if (!zk().EnableCapture(1, kCaptureToken) || !spy_.Fence())
    return ::testing::AssertionFailure() << "capture was not enabled";
  TakeQueuedEvents(zk());
  return ::testing::AssertionSuccess();
}

std::vector<SharedReport> SharingSession::TakeReports(size_t count) {
  PumpUntil(
      [&] {
        for (const ReceivedEvent& e : OfType(TakeQueuedEvents(zk()), ZKP_SHAREDWINDOW)) {
          SharedWindowMessage report;
          if (!ParseBytes(e.payload, &report)) continue;
          HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(report.window));
          pending_.push_back(SharedReport{report.code, window, report.title});
        }
        return pending_.size() >= count;
      },
      15000);
  std::vector<SharedReport> taken;
  taken.swap(pending_);
  return taken;
}

bool SharingSession::IsCapturing() const {
  // In capture the session window is a see-through frame: it has a region.
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  int type = GetWindowRgn(window_, region);
  DeleteObject(region);
  return type != ERROR;
}

bool SharingSession::AwaitNotCapturing() {
  return PumpWhile([&] { return IsCapturing(); });
}

bool SharingSession::AwaitCapturing() {
  return PumpWhile([&] { return !IsCapturing(); });
}

RECT SharingSession::Placement() const {
  RECT client;
  GetClientRect(window_, &client);
  MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&client), 2);
  return client;
}

bool SharingSession::AwaitPlaced(HWND window, const RECT& where) {
  return PumpWhile([&] {
    RECT r = WindowRect(window);
    return IsIconic(window) || !EqualRect(&r, &where);
  });
}

bool SharingSession::AwaitInPlaceBelowSession(HWND window) {
  return PumpWhile([&] {
    RECT r = WindowRect(window);
    RECT placement = Placement();
    return IsIconic(window) || !EqualRect(&r, &placement) || NextVisibleBelow(window_) != window;
  });
}

void SharingSession::Click(POINT screenPoint) {
  hooktest::InjectAbsoluteMove(screenPoint);
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

bool SharingSession::PumpWhile(const std::function<bool()>& notYet, DWORD timeoutMs) {
  return PumpUntil([&] { return !notYet(); }, timeoutMs);
}

HWND NextVisibleBelow(HWND window) {
  for (HWND next = GetWindow(window, GW_HWNDNEXT); next; next = GetWindow(next, GW_HWNDNEXT)) {
    if (IsWindowVisible(next)) return next;
  }
  return nullptr;
}

HWND LowestVisibleWindow() {
  HWND top = GetWindow(GetDesktopWindow(), GW_CHILD);
  for (HWND w = top ? GetWindow(top, GW_HWNDLAST) : nullptr; w; w = GetWindow(w, GW_HWNDPREV)) {
    if (IsWindowVisible(w)) return w;
  }
  return nullptr;
}

RECT WindowRect(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  return r;
}
