// Many programs shared, unshared and closed in one session: the library
// keeps no region and no window of theirs, and nothing crashes.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <mutex>
#include <set>

#include "SharingSession.h"
#include "api/ImportRedirect.h"
#include "session/ProcessCensus.h"

namespace {
constexpr int kCycles = 100;

// The regions ZK.dll creates and has not yet deleted or handed to a window
// (SetWindowRgn makes a region the system's). Its own import table entries
// are pointed at counters, so other modules' regions are not counted.
class RegionWatch {
 public:
  explicit RegionWatch(HMODULE module)
      : create_(module, "gdi32.dll", "CreateRectRgn", reinterpret_cast<void*>(&Create)),
        delete_(module, "gdi32.dll", "DeleteObject", reinterpret_cast<void*>(&Delete)),
        give_(module, "user32.dll", "SetWindowRgn", reinterpret_cast<void*>(&Give)) {
    g_create = reinterpret_cast<decltype(&CreateRectRgn)>(create_.Original());
    g_delete = reinterpret_cast<decltype(&DeleteObject)>(delete_.Original());
    g_give = reinterpret_cast<decltype(&SetWindowRgn)>(give_.Original());
  }
  bool Installed() const { return create_.Installed() && delete_.Installed() && give_.Installed(); }
  static size_t Held() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_held.size();
  }
  static size_t Created() { return g_created; }

 private:
  static HRGN WINAPI Create(int left, int top, int right, int bottom) {
    HRGN region = g_create(left, top, right, bottom);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (region) {
      g_held.insert(region);
      ++g_created;
    }
    return region;
  }
  static BOOL WINAPI Delete(HGDIOBJ object) {
    Forget(object);
    return g_delete(object);
  }
  static int WINAPI Give(HWND window, HRGN region, BOOL redraw) {
    int result = g_give(window, region, redraw);
    if (result) Forget(region);
    return result;
  }
  static void Forget(HGDIOBJ object) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_held.erase(static_cast<HRGN>(object));
  }

  ImportRedirect create_, delete_, give_;
  static inline decltype(&CreateRectRgn) g_create = nullptr;
  static inline decltype(&DeleteObject) g_delete = nullptr;
  static inline decltype(&SetWindowRgn) g_give = nullptr;
  static inline std::mutex g_mutex;
  static inline std::set<HRGN> g_held;
  static inline size_t g_created = 0;
};

// GDI objects of this process, where the system counts them (0 otherwise).
DWORD GdiObjects() { return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS); }
}  // namespace

class SharingCycles : public SharingSession {
 protected:
  // Takes reports until `code` arrives for `window`.
  bool AwaitReport(uint16_t code, HWND window) {
    for (int tries = 0; tries < 20; ++tries) {
      for (const SharedReport& report : TakeReports(1)) {
        if (report.code == code && report.window == window) return true;
      }
    }
    return false;
  }

  // Shares a new program's window, unshares it, shares it again and closes
  // the program.
  void Cycle() {
    OtherProgram program;
    ASSERT_TRUE(program.Start());
    const HWND window = program.Window();
    ASSERT_EQ(zk().ClickToShare(window, 1), 1);
    ASSERT_TRUE(AwaitReport(1, window));
    ASSERT_EQ(zk().ClickToShare(window, 2), 1);
    ASSERT_TRUE(AwaitReport(2, window));
    ASSERT_EQ(zk().ClickToShare(window, 1), 1);
    ASSERT_TRUE(AwaitReport(1, window));
    ASSERT_TRUE(program.Close());
    ASSERT_TRUE(AwaitReport(4, window)) << "the closed window was never let go";
  }
};

TEST_F(SharingCycles, AHundredProgramsSharedUnsharedAndClosedLeaveNoRegionOrWindowBehind) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "zk cycles host";
  RegisterClassA(&wc);
  HWND host = CreateWindowExA(0, wc.lpszClassName, "host", WS_POPUP | WS_VISIBLE, 40, 20, 560,
                              440, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(host, nullptr);
  const ProcessCensus before = TakeProcessCensus();
  RegionWatch regions(ZKModule());
  ASSERT_TRUE(regions.Installed());
  ASSERT_TRUE(StartPresenter(nullptr, host));

  ASSERT_NO_FATAL_FAILURE(Cycle());
  const DWORD gdiAfterOne = GdiObjects();
  const size_t heldAfterOne = RegionWatch::Held();
  for (int cycle = 1; cycle < kCycles; ++cycle) {
    ASSERT_NO_FATAL_FAILURE(Cycle()) << "cycle " << cycle;
  }
  EXPECT_EQ(RegionWatch::Held(), heldAfterOne) << "regions piled up while the session ran";
  if (gdiAfterOne) {
    EXPECT_LE(GdiObjects(), gdiAfterOne + 8) << "GDI objects piled up";
  }
  EXPECT_GT(RegionWatch::Created(), static_cast<size_t>(kCycles)) << "the hole was never made";
  EXPECT_TRUE(AwaitNotCapturing());
  std::printf("regions made by the library: %u; GDI objects after the first cycle %lu, now %lu\n",
              static_cast<unsigned>(RegionWatch::Created()), gdiAfterOne, GdiObjects());

  Stop();
  EXPECT_EQ(RegionWatch::Held(), 0u) << "a region outlived the session";
  const ProcessCensus after = TakeProcessCensus();
  EXPECT_EQ(after.windows, before.windows);
  DestroyWindow(host);
}
