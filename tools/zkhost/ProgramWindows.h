#pragma once

#include <windows.h>

#include <string>

// The windows of other programs, as a presenter's host finds the one to
// share by its title. Any thread.

// The first visible top-level window of another process, from the top of the
// z-order down, whose title contains `titlePart` (letters compared without
// regard to case); null when there is none.
HWND FindProgramWindow(const std::string& titlePart);

std::string WindowTitle(HWND window);
