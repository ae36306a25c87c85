#pragma once

#include <windows.h>

#include <cstdint>

// What a process holds, for checking that sessions give everything back.
struct ProcessCensus {
  int threads;
  DWORD handles;
  int windows;  // top-level and child windows of this process's threads
};

ProcessCensus TakeProcessCensus();

// Bytes of private memory this process has committed: what its heap and
// buffers hold, whatever part of them is paged in.
uint64_t CommittedPrivateBytes();

// Pumps this thread's messages until `done` returns true or `timeoutMs`
// passes; returns whether `done` came true.
template <typename Predicate>
bool PumpUntil(Predicate done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}
