#include "sharing/SharedWindowTracker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

// The host places the shared area from its own thread (ZK_SetPosition) while
// the worker follows the session window's moves: whoever reads the placement
// sees one writer's rectangle whole, never parts of two.
TEST(SharedWindowTracker, PlacementsFromTwoThreadsAreNeverMixed) {
  CriticalSection placementLock;
  SharedWindowTracker tracker(&placementLock);
  std::atomic<bool> stop{false};
  auto place = [&](int base) {
    for (int i = 0; !stop; ++i) {
      const int v = base + (i & 0xFFFF);
      tracker.SetPlacement(v, v, v, v, false);
    }
  };
  std::thread host(place, 0), worker(place, 1 << 20);
  int mixed = 0;
  for (const DWORD start = GetTickCount(); mixed == 0 && GetTickCount() - start < 3000;) {
    const RECT r = tracker.GetPlacement();
    if (r.top != r.left || r.right != r.left || r.bottom != r.left) ++mixed;
  }
  stop = true;
  host.join();
  worker.join();
  EXPECT_EQ(mixed, 0);
}
