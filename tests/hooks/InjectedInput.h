#pragma once

// Software input, flagged as injected by the system: it goes through the
// input queue like a device's, so low-level hooks see it. For the hooks and
// end-to-end tests.

#include <windows.h>

namespace hooktest {

// Moves the pointer to a point of the screen.
void InjectAbsoluteMove(POINT screenPoint);
void InjectKey(BYTE virtualKey, BYTE scanCode, bool extended, bool release);

}  // namespace hooktest
