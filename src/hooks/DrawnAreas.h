#pragma once

// The drawing that hook procedures have seen and the session has not taken
// yet, kept in the data section shared by every process that maps
// ZKHooks.dll: at most kDrawnAreaCount screen rectangles, and whether a
// drawing report announcing them waits in the session window's queue. A
// program that repaints without pause then costs the session one queued
// report at a time instead of one per paint, and nothing it drew is lost.
//
// Hook procedures keep and announce on any thread of any process; the session
// takes on its window's thread. Interlocked operations only: a process may
// die at any point, and must leave no lock behind.

#include <windows.h>

#include <cstdint>

#include "hooks/ZKHooks.h"

namespace zkhooks {

constexpr UINT kDrawnAreaCount = ZKHOOK_DRAWN_AREAS;

// A screen rectangle as drawing reports carry it: left | top << 16 in the
// low half, right | bottom << 16 in the high half, each field clamped to an
// unsigned 16-bit value. 0 only for an empty rectangle.
uint64_t PackArea(const RECT& screen);
RECT UnpackArea(uint64_t area);

// Keeps a non-empty packed area until the session takes it. When every place
// is in use, it joins the kept area that it grows least.
void KeepDrawnArea(uint64_t area);
// True when no drawing report for `session` waits in its queue: the caller
// now posts one, or withdraws the announcement if it cannot.
bool AnnounceDrawn(HWND session);
void WithdrawDrawnAnnouncement(HWND session);
// For the session, as it takes a drawing report: ends the announcement, so
// that drawing from now on is announced anew, then takes up to `capacity`
// kept areas into `areas`; returns how many.
UINT TakeDrawnAreas(HWND session, RECT* areas, UINT capacity);
// Forgets every kept area and announcement: nobody listens any more.
void ForgetDrawnAreas();

}  // namespace zkhooks
