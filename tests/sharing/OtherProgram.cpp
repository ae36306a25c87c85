#include "OtherProgram.h"

#include "session/ProcessCensus.h"

namespace {
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
  // Text typed into it is let go: it must not ask whether to save it.
  if (HWND edit = FindWindowExW(window_, nullptr, L"Edit", nullptr)) {
    DWORD_PTR result;
    SendMessageTimeoutW(edit, EM_SETMODIFY, FALSE, 0, SMTO_NORMAL, 5000, &result);
  }
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
  // A program left running would hold the test runner's output open.
  if (!ended) {
    TerminateProcess(process_.hProcess, 0);
    WaitForSingleObject(process_.hProcess, kProgramStartMs);
  }
  CloseHandle(process_.hProcess);
  CloseHandle(process_.hThread);
  process_ = PROCESS_INFORMATION{};
  return ended;
}

