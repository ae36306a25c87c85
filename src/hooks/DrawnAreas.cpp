#include "hooks/DrawnAreas.h"

#include <algorithm>

namespace zkhooks {
namespace {

// Shared by every process that maps this DLL. A HWND fits in a LONG on Win32.
struct SharedDrawnState {
  volatile LONG announcedFor;  // the session a queued drawing report is for, or 0
  volatile LONGLONG areas[kDrawnAreaCount];  // packed, 0 when free
};
__attribute__((section(".shared"), shared)) SharedDrawnState g_drawn = {};

struct Box {
  uint32_t left, top, right, bottom;
};

Box Unpack(uint64_t area) {
  return Box{static_cast<uint32_t>(area & 0xFFFF), static_cast<uint32_t>(area >> 16 & 0xFFFF),
             static_cast<uint32_t>(area >> 32 & 0xFFFF), static_cast<uint32_t>(area >> 48)};
}

uint64_t Pack(const Box& b) {
  return uint64_t{b.left} | uint64_t{b.top} << 16 | uint64_t{b.right} << 32 |
         uint64_t{b.bottom} << 48;
}

bool Contains(const Box& outer, const Box& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

Box Union(const Box& a, const Box& b) {
  return Box{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
             std::max(a.bottom, b.bottom)};
}

uint64_t Size(const Box& b) { return uint64_t{b.right - b.left} * (b.bottom - b.top); }

uint64_t Read(volatile LONGLONG& slot) {
  return static_cast<uint64_t>(InterlockedCompareExchange64(&slot, 0, 0));
}

bool Replace(volatile LONGLONG& slot, uint64_t expected, uint64_t wanted) {
  return InterlockedCompareExchange64(&slot, static_cast<LONGLONG>(wanted),
                                      static_cast<LONGLONG>(expected)) ==
         static_cast<LONGLONG>(expected);
}

bool IsKept(const Box& box) {
  for (volatile LONGLONG& slot : g_drawn.areas) {
    const uint64_t kept = Read(slot);
    if (kept && Contains(Unpack(kept), box)) return true;
  }
  return false;
}

bool TakeFreePlace(uint64_t area) {
  for (volatile LONGLONG& slot : g_drawn.areas) {
    if (Replace(slot, 0, area)) return true;
  }
  return false;
}

// Widens the kept area that grows least by taking `box` in; false when that
// area changed meanwhile (grown by another thread, or taken by the session).
bool JoinNearest(const Box& box) {
  volatile LONGLONG* best = nullptr;
  uint64_t bestKept = 0, bestGrowth = UINT64_MAX;
  for (volatile LONGLONG& slot : g_drawn.areas) {
    const uint64_t kept = Read(slot);
    if (!kept) return false;  // a place came free: try that first
    const Box old = Unpack(kept);
    const uint64_t growth = Size(Union(old, box)) - Size(old);
    if (growth < bestGrowth) best = &slot, bestKept = kept, bestGrowth = growth;
  }
  return Replace(*best, bestKept, Pack(Union(Unpack(bestKept), box)));
}

}  // namespace

uint64_t PackArea(const RECT& screen) {
  auto field = [](LONG v) { return static_cast<uint32_t>(std::clamp<LONG>(v, 0, 0xFFFF)); };
  const Box box{field(screen.left), field(screen.top), field(screen.right), field(screen.bottom)};
  return box.right > box.left && box.bottom > box.top ? Pack(box) : 0;
}

RECT UnpackArea(uint64_t area) {
  const Box b = Unpack(area);
  return RECT{static_cast<LONG>(b.left), static_cast<LONG>(b.top), static_cast<LONG>(b.right),
              static_cast<LONG>(b.bottom)};
}

void KeepDrawnArea(uint64_t area) {
  if (!area) return;
  const Box box = Unpack(area);
  // Every failed attempt means another thread changed the places: each turn
  // of the loop is somebody's progress.
  while (!IsKept(box) && !TakeFreePlace(area) && !JoinNearest(box)) {
  }
}

bool AnnounceDrawn(HWND session) {
  const LONG mine = static_cast<LONG>(reinterpret_cast<LONG_PTR>(session));
  // An announcement for another window (an earlier session's) holds nothing
  // back: that window will never take it.
  for (;;) {
    const LONG seen = InterlockedCompareExchange(&g_drawn.announcedFor, 0, 0);
    if (seen == mine) return false;
    if (InterlockedCompareExchange(&g_drawn.announcedFor, mine, seen) == seen) return true;
  }
}

void WithdrawDrawnAnnouncement(HWND session) {
  const LONG mine = static_cast<LONG>(reinterpret_cast<LONG_PTR>(session));
  InterlockedCompareExchange(&g_drawn.announcedFor, 0, mine);
}

UINT TakeDrawnAreas(HWND session, RECT* areas, UINT capacity) {
  // The announcement ends first: an area kept after the takes below is then
  // announced by whoever keeps it, and one kept before is taken here.
  WithdrawDrawnAnnouncement(session);
  UINT taken = 0;
  for (volatile LONGLONG& slot : g_drawn.areas) {
    if (taken == capacity) break;
    const uint64_t area = static_cast<uint64_t>(InterlockedExchange64(&slot, 0));
    if (area) areas[taken++] = UnpackArea(area);
  }
  return taken;
}

void ForgetDrawnAreas() {
  InterlockedExchange(&g_drawn.announcedFor, 0);
  for (volatile LONGLONG& slot : g_drawn.areas) InterlockedExchange64(&slot, 0);
}

}  // namespace zkhooks
