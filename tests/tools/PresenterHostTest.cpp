// The presenter's host against a stand-in for the library's queue, so that
// what the host does with the queue's signal can be pinned down exactly.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

#include "PresenterHost.h"
#include "events/ProtocolMessages.h"

namespace {

// A queue holding a few events whose signal has already been consumed: the
// wait always times out.
std::atomic<int> g_waiting{0};

uint8_t __cdecl NeverSignalled(uint32_t timeoutMs) {
  Sleep(timeoutMs);
  return 0;
}

uint8_t __cdecl TakeWaiting(ZKEvent* out) {
  if (g_waiting <= 0) return 0;
  --g_waiting;
  out->type = ZKP_MOUSEPOSITION;
  out->size = kMouseMessageSize;
  out->payload = static_cast<uint8_t*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, kMouseMessageSize));
  return 1;
}

}  // namespace

TEST(PresenterHostQueue, EventsWhoseSignalWasConsumedAreStillDrained) {
  ZKLibrary library;
  library.WaitForEvents = NeverSignalled;
  library.GetQueuedEvent = TakeWaiting;
  g_waiting = 3;
  PresenterHost host(library, PresenterOptions());
  std::atomic<int> drained{0};
  host.SetObserver([&](const ZKEvent&) {
    if (++drained == 3) host.Stop();
  });
  std::thread serving([&] { host.Serve(20); });  // the limit only ends a failing run
  serving.join();
  EXPECT_EQ(drained, 3);
  EXPECT_EQ(g_waiting, 0);
}
