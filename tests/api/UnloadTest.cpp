#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>

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

// A host's own window, served by the test thread, under which the session
// window is placed.
class HostWindow {
 public:
  explicit HostWindow(const RECT& r) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "zk unload test host";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    RegisterClassA(&wc);
    window_ = CreateWindowExA(0, wc.lpszClassName, "host", WS_POPUP | WS_VISIBLE, r.left, r.top,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr,
                              nullptr);
  }
  ~HostWindow() { DestroyWindow(window_); }
  HWND Handle() const { return window_; }
  bool HasRegion() const {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    const bool has = GetWindowRgn(window_, region) != ERROR;
    DeleteObject(region);
    return has;
  }

 private:
  HWND window_;
};

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

// A presenter in its host's window, shown, capturing the desktop and so with
// a hole cut in the host window, unloaded without ZK_Release from the host
// window's own thread: the hooks go before the session window does, so that
// nothing waits for the loader lock, and the host window gets its whole
// shape back.
TEST(Unload, AShownPresenterInAHostWindowIsUnloadedWithoutTrace) {
  if (GetModuleHandleA("ZK.dll")) GTEST_SKIP() << "needs a process where ZK.dll is not loaded";
  Watchdog watchdog;
  FILE* config = std::fopen(".\\ZK.ini", "w");
  ASSERT_NE(config, nullptr);
  std::fputs("[ZK]\nCaptureDesktop=1\nEnablePolling=0\n", config);
  std::fclose(config);
  HostWindow host({40, 20, 600, 460});
  ASSERT_NE(host.Handle(), nullptr);

  HMODULE zk = LoadLibraryA("ZK.dll");
  ASSERT_NE(zk, nullptr);
  auto init = Resolve<ZKApi::Result(__cdecl*)(HWND)>(zk, "ZK_Init");
  auto setPosition = Resolve<ZKApi::Result(__cdecl*)(uint32_t, uint32_t, uint32_t, uint32_t,
                                                     uint32_t)>(zk, "ZK_SetPosition");
  auto enableCapture = Resolve<ZKApi::Result(__cdecl*)(uint32_t, uint32_t)>(zk, "ZK_EnableCapture");
  ASSERT_EQ(init(host.Handle()), 1);
  HWND session = FindSessionWindow();
  ASSERT_NE(session, nullptr);
  ASSERT_EQ(setPosition(100, 100, 320, 240, 1), 1);
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(session) != FALSE; }, 10000));
  ASSERT_EQ(enableCapture(1, 1), 1);
  ASSERT_TRUE(PumpUntil([&] { return host.HasRegion(); }, 10000)) << "no hole in the host";
  DeleteFileA(".\\ZK.ini");

  watchdog.Arm();
  const DWORD start = GetTickCount();
  FreeLibrary(zk);
  const DWORD took = GetTickCount() - start;
  watchdog.Disarm();
  std::printf("FreeLibrary of a shown presenter: %lu ms\n", took);
  EXPECT_LT(took, kReleaseLimitMs / 2) << "the unload waited for a worker stuck in its end";
  EXPECT_EQ(GetModuleHandleA("ZK.dll"), nullptr);
  EXPECT_FALSE(host.HasRegion()) << "the hole outlived the library";
  // The hook thread holds the hooks library until its own end, which waits
  // for the loader lock the unload held.
  EXPECT_TRUE(PumpUntil([] { return GetModuleHandleA("ZKHooks.dll") == nullptr; }, 10000))
      << "the hooks library stayed loaded";
}

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
