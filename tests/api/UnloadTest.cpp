#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "SessionSpy.h"
#include "ZKApi.h"
#include "session/ProcessCensus.h"

namespace {
constexpr DWORD kReleaseLimitMs = 20000;
constexpr int kCycles = 50;

// A FreeLibrary that never returns keeps the loader lock, and with it every
// way of ending the process but TerminateProcess. This thread, started
// before any lock is taken, ends the process when a cycle overruns.
class Watchdog {
 public:
  Watchdog()
      : armed_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
        disarmed_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
        thread_(CreateThread(nullptr, 0, Watch, this, 0, nullptr)) {}
  ~Watchdog() {
    stopping_ = true;
    SetEvent(armed_);
    SetEvent(disarmed_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(armed_);
    CloseHandle(disarmed_);
  }
  void Arm() { SetEvent(armed_); }
  void Disarm() { SetEvent(disarmed_); }

 private:
  static DWORD WINAPI Watch(void* self) {
    auto* dog = static_cast<Watchdog*>(self);
    while (WaitForSingleObject(dog->armed_, INFINITE) == WAIT_OBJECT_0 && !dog->stopping_) {
      if (WaitForSingleObject(dog->disarmed_, 2 * kReleaseLimitMs) == WAIT_TIMEOUT) {
        std::fprintf(stderr, "FreeLibrary without ZK_Release has not returned: the host hangs\n");
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
      }
    }
    return 0;
  }

  HANDLE armed_;
  HANDLE disarmed_;
  HANDLE thread_;
  volatile bool stopping_ = false;
};

template <typename Function>
Function Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loads the library, starts a session (a presenter, with its hooks, when
// asked) and unloads it without ZK_Release; returns how long FreeLibrary took.
DWORD SessionUnloadedWithoutRelease(Watchdog& watchdog, bool presenter) {
  HMODULE zk = LoadLibraryA("ZK.dll");
  EXPECT_NE(zk, nullptr);
  if (!zk) return 0;
  auto init = Resolve<ZKApi::Result(__cdecl*)(HWND)>(zk, "ZK_Init");
  auto enableCapture = Resolve<ZKApi::Result(__cdecl*)(uint32_t, uint32_t)>(zk, "ZK_EnableCapture");
  auto waitForEvents = Resolve<ZKApi::Result(__cdecl*)(uint32_t)>(zk, "ZK_WaitForEvents");
  auto getQueuedEvent = Resolve<ZKApi::Result(__cdecl*)(HostEvent*)>(zk, "ZK_GetQueuedEvent");
  EXPECT_EQ(init(nullptr), 1);
  EXPECT_NE(FindSessionWindow(), nullptr);
  if (presenter) {
    // The entry frame is queued after the hooks are set.
    EXPECT_EQ(enableCapture(1, 1), 1);
    HostEvent event = {};
    EXPECT_TRUE(waitForEvents(10000) && getQueuedEvent(&event)) << "no entry frame";
    if (event.payload) GlobalFree(event.payload);
  }
  watchdog.Arm();
  const DWORD start = GetTickCount();
  FreeLibrary(zk);
  const DWORD took = GetTickCount() - start;
  watchdog.Disarm();
  return took;
}
}  // namespace

// A host that unloads the library without ZK_Release (a crashed Java host,
// a careless integrator) gets its FreeLibrary back in time, and the session
// ends with it: no window, no thread, no library left.
TEST(Unload, FreeLibraryWithoutReleaseEndsTheSessionFiftyTimes) {
  if (GetModuleHandleA("ZK.dll")) GTEST_SKIP() << "needs a process where ZK.dll is not loaded";
  Watchdog watchdog;
  const ProcessCensus before = TakeProcessCensus();
  DWORD slowest[2] = {};  // viewer, presenter
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    const bool presenter = cycle == 0;
    const DWORD took = SessionUnloadedWithoutRelease(watchdog, presenter);
    EXPECT_LT(took, kReleaseLimitMs) << "cycle " << cycle;
    slowest[presenter] = std::max(slowest[presenter], took);
    EXPECT_EQ(GetModuleHandleA("ZK.dll"), nullptr) << "the library stayed loaded";
    if (HasFailure()) break;
  }
  EXPECT_EQ(FindSessionWindow(), nullptr);
  // The last worker ends once the loader lets it go.
  EXPECT_TRUE(PumpUntil([&] { return TakeProcessCensus().threads <= before.threads; }, 10000))
      << TakeProcessCensus().threads << " threads, " << before.threads << " before";
  EXPECT_EQ(GetModuleHandleA("ZKHooks.dll"), nullptr);
  std::printf("slowest FreeLibrary: %lu ms for a viewer, %lu ms for a presenter\n", slowest[0],
              slowest[1]);
}
