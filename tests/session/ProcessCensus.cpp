#include "ProcessCensus.h"

#include <tlhelp32.h>

namespace {
BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

BOOL CALLBACK CountThreadWindow(HWND window, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  EnumChildWindows(window, CountChild, count);
  return TRUE;
}
}  // namespace

ProcessCensus TakeProcessCensus() {
  ProcessCensus census = {};
  DWORD pid = GetCurrentProcessId();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != pid) continue;
    ++census.threads;
    EnumThreadWindows(entry.th32ThreadID, CountThreadWindow,
                      reinterpret_cast<LPARAM>(&census.windows));
  }
  CloseHandle(snapshot);
  GetProcessHandleCount(GetCurrentProcess(), &census.handles);
  census.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  census.userObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  return census;
}
