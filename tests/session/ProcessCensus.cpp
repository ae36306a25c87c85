#include "ProcessCensus.h"

#include <tlhelp32.h>

#include <cstdint>

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
// The system's handle count is not available everywhere: probe every handle
// value this process can hold instead.
DWORD CountOpenHandles() {
  constexpr uintptr_t kHighestProbed = 0x10000;
  DWORD count = 0;
  for (uintptr_t value = 4; value < kHighestProbed; value += 4) {
    DWORD flags;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
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
  census.handles = CountOpenHandles();
  return census;
}

uint64_t CommittedPrivateBytes() {
  uint64_t committed = 0;
  MEMORY_BASIC_INFORMATION region;
  for (uintptr_t at = 0; VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof region);) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) committed += region.RegionSize;
    const uintptr_t next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (next <= at) break;  // the top of the address space
    at = next;
  }
  return committed;
}
