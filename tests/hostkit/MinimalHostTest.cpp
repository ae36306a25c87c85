#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <set>
#include <string>

#include "HostProcess.h"
#include "PictureMatch.h"
#include "ScreenGrab.h"

// The example host, as minimal_host_test.sh built it from an installed
// prefix (its path in ZK_MINIMAL_HOST): it presents a picture of its own and
// starts its viewer, and the viewer's window comes to show that picture.
namespace {
constexpr DWORD kShowMs = 60000;

// The screen under a window's client area.
bool GrabClient(HWND window, Picture* out) {
  RECT client;
  POINT origin = {0, 0};
  if (!GetClientRect(window, &client) || !ClientToScreen(window, &origin)) return false;
  return GrabScreen(origin.x, origin.y, FrameWidth(client.right), client.bottom, out);
}

// The session window of any process but the presenter's: its viewer's.
HWND OtherSessionWindow(HWND presenter) {
  DWORD presenterProcess = 0;
  GetWindowThreadProcessId(presenter, &presenterProcess);
  for (HWND w = FindWindowExA(nullptr, nullptr, "Morvane Zenkast", nullptr); w;
       w = FindWindowExA(nullptr, w, "Morvane Zenkast", nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner != presenterProcess) return w;
  }
  return nullptr;
}

size_t DistinctColours(const Picture& picture) {
  std::set<uint32_t> colours;
  for (size_t i = 0; i + 2 < picture.pixels.size(); i += 3)
    colours.insert(picture.pixels[i] | picture.pixels[i + 1] << 8 | picture.pixels[i + 2] << 16);
  return colours.size();
}

// A viewer draws the presenter's pointer over the picture; before any
// position arrives, at the picture's top-left corner.
std::vector<PictureBox> PointerBox() {
  return {{0, 0, GetSystemMetrics(SM_CXCURSOR), GetSystemMetrics(SM_CYCURSOR)}};
}
}  // namespace

TEST(MinimalHost, ViewerShowsThePresentersPicture) {
  const char* program = std::getenv("ZK_MINIMAL_HOST");
  ASSERT_NE(program, nullptr) << "run by minimal_host_test.sh, which builds the example";
  // The presenter's pointer, parked away from both windows.
  SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
  HostProcess presenter;
  ASSERT_TRUE(presenter.StartPath(program, "", "minimal-host.txt"));

  Picture shared, shown;
  MatchReport report;
  DWORD exitCode = 0;
  const DWORD start = GetTickCount();
  bool matched = false;
  while (!matched && GetTickCount() - start < kShowMs) {
    ASSERT_FALSE(presenter.WaitForExit(100, &exitCode)) << "ended early:\n" << presenter.Output();
    HWND frame = presenter.SessionWindow();
    HWND viewer = frame ? OtherSessionWindow(frame) : nullptr;
    // The shared picture (eight bars) stands beneath the frame once the
    // library has moved it there.
    if (!viewer || !GrabClient(frame, &shared) || DistinctColours(shared) < 8 ||
        !GrabClient(viewer, &shown) || shown.width != shared.width ||
        shown.height != shared.height)
      continue;
    report = Compare565(shared, shown, PointerBox());
    matched = report.pixels > 0 && report.mismatched == 0;
  }
  EXPECT_TRUE(matched) << report.mismatched << " of " << report.pixels
                       << " pixels differ; presenter's output:\n" << presenter.Output();

  ASSERT_TRUE(presenter.WriteInput("\n"));
  ASSERT_TRUE(presenter.WaitForExit(60000, &exitCode)) << presenter.Output();
  EXPECT_EQ(exitCode, 0u) << "the viewer or the presenter did not end cleanly:\n"
                          << presenter.Output();
}
