// A hooks library that does nothing but pass each call on: what the probe
// sets on its own thread to measure what hooks of a library cost a program
// under this system, whatever their procedure does (bench/hooks/run.sh).

#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK PassOn(int code, WPARAM wParam, LPARAM lParam) {
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
