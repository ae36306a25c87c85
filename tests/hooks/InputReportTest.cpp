// Mouse and key reports, the local-mouse tick and click-to-share, driven by
// real X input (xdotool) and by injected input.

#include <string>

#include "HookedDesktop.h"

namespace hooktest {
namespace {

using HooksInputReports = HookedDesktop;

std::string MoveAndClick(POINT at) {
  return "mousemove " + std::to_string(at.x) + " " + std::to_string(at.y) + " click 1";
}

TEST_F(HooksInputReports, RealClickIsReportedInSessionClientCoordinates) {
  if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  POINT at = target_->ScreenCentre();
  ASSERT_TRUE(RunXdotool(MoveAndClick(at)));
  ASSERT_TRUE(AwaitReport(Session(), WM_ZKHOOK_MOUSE, WM_LBUTTONUP));
  ASSERT_TRUE(AwaitMessage(Target(), WM_LBUTTONUP)) << "the click must still reach the target";

  POINT origin = SessionOrigin();
  for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP}) {
    const Seen* first = FindReport(Session(), WM_ZKHOOK_MOUSE, message);
    ASSERT_NE(first, nullptr) << "message " << message;
    // The fixture's windows appearing under the pointer where an earlier test
    // left it may add a move there: look for the report at the click.
    const Seen* atClick = log_.Find([&](const Seen& seen) {
      return seen.window == Session() && seen.message == WM_ZKHOOK_MOUSE &&
             seen.wParam == message && ReportX(seen.lParam) == at.x - origin.x &&
             ReportY(seen.lParam) == at.y - origin.y;
    });
    EXPECT_NE(atClick, nullptr) << "message " << message << " is reported at "
                                << ReportX(first->lParam) << "," << ReportY(first->lParam)
                                << ", the click was at " << at.x - origin.x << ","
                                << at.y - origin.y;
  }
  // The target lies left of the session window: x is negative.
  EXPECT_LT(ReportX(FindReport(Session(), WM_ZKHOOK_MOUSE, WM_LBUTTONDOWN)->lParam), 0);
}

TEST_F(HooksInputReports, RealKeyIsReportedWithTheKeyMessageParam) {
  if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  SetForegroundWindow(Target());
  SetFocus(Target());
  ASSERT_TRUE(RunXdotool("key a"));
  ASSERT_TRUE(AwaitReport(Session(), WM_ZKHOOK_KEY, WM_KEYUP));

  const Seen* press = FindReport(Session(), WM_ZKHOOK_KEY, WM_KEYDOWN);
  const Seen* release = FindReport(Session(), WM_ZKHOOK_KEY, WM_KEYUP);
  ASSERT_NE(press, nullptr);
  UINT scan = MapVirtualKeyW('A', MAPVK_VK_TO_VSC);
  EXPECT_EQ(static_cast<uint32_t>(press->lParam), (scan << 16) | 1u);
  EXPECT_EQ(static_cast<uint32_t>(release->lParam), 0xC0000000u | (scan << 16) | 1u);
}

TEST_F(HooksInputReports, InjectedKeysCarryScanCodeExtendedBitAndRepeatState) {
  InjectKey(VK_RIGHT, 0x4D, true, false);
  InjectKey(VK_RIGHT, 0x4D, true, false);  // auto-repeat
  InjectKey(VK_RIGHT, 0x4D, true, true);
  ASSERT_TRUE(AwaitReport(Session(), WM_ZKHOOK_KEY, WM_KEYUP));

  std::vector<uint32_t> params;
  for (const Seen& report : log_.Select([&](const Seen& seen) {
         return seen.window == Session() && seen.message == WM_ZKHOOK_KEY;
       })) {
    params.push_back(static_cast<uint32_t>(report.lParam));
  }
  EXPECT_EQ(params, (std::vector<uint32_t>{0x014D0001u, 0x414D0001u, 0xC14D0001u}));
}

TEST_F(HooksInputReports, LocalMouseTicksCountRealInputButNotInjectedInput) {
  if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  POINT origin = SessionOrigin();
  POINT real = target_->ScreenCentre();
  DWORD before = GetTickCount();
  ASSERT_TRUE(RunXdotool("mousemove " + std::to_string(real.x) + " " + std::to_string(real.y)));
  ASSERT_TRUE(PumpUntil([&] {
    return log_.Find([&](const Seen& seen) {
      return seen.message == WM_ZKHOOK_MOUSE && ReportX(seen.lParam) == real.x - origin.x &&
             ReportY(seen.lParam) == real.y - origin.y;
    }) != nullptr;
  }));
  DWORD afterReal = ZKHooks_GetLastLocalMouseTicks();
  EXPECT_GE(afterReal, before);

  POINT injected = {real.x + 17, real.y + 9};
  InjectAbsoluteMove(injected);
  ASSERT_TRUE(PumpUntil([&] {
    return log_.Find([&](const Seen& seen) {
      return seen.message == WM_ZKHOOK_MOUSE && ReportX(seen.lParam) == injected.x - origin.x &&
             ReportY(seen.lParam) == injected.y - origin.y;
    }) != nullptr;
  })) << "injected moves are reported like any other";
  EXPECT_EQ(ZKHooks_GetLastLocalMouseTicks(), afterReal);
}

TEST_F(HooksInputReports, ClickToShareNamesTheTopLevelWindowAndSwallowsTheClick) {
  if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  RECT client;
  GetClientRect(Target(), &client);
  RecordingWindow child(log_, client, Target());
  POINT at = child.ScreenCentre();

  ASSERT_TRUE(ZKHooks_ClickToShare());
  ASSERT_TRUE(RunXdotool(MoveAndClick(at)));
  ASSERT_TRUE(AwaitReport(Session(), WM_ZKHOOK_CLICKED, reinterpret_cast<WPARAM>(Target())));

  // The mode ends with that click: the next one goes through and is reported
  // as ordinary mouse input. It also proves the first one was processed.
  ASSERT_TRUE(RunXdotool("click 1"));
  ASSERT_TRUE(AwaitMessage(child.Handle(), WM_LBUTTONUP));
  EXPECT_EQ(CountMessages(child.Handle(), WM_LBUTTONDOWN), 1u);
  EXPECT_EQ(CountMessages(child.Handle(), WM_LBUTTONUP), 1u);
  EXPECT_EQ(CountMessages(Session(), WM_ZKHOOK_CLICKED), 1u);
  EXPECT_EQ(log_.Count([&](const Seen& seen) {
    return seen.message == WM_ZKHOOK_MOUSE && seen.wParam == WM_LBUTTONDOWN;
  }), 1u);
}

TEST_F(HooksInputReports, FocusedWindowIsTheFocusOfTheForegroundThread) {
  RECT client;
  GetClientRect(Target(), &client);
  RecordingWindow child(log_, client, Target());
  SetForegroundWindow(Target());
  SetFocus(child.Handle());
  EXPECT_EQ(ZKHooks_GetFocusedWindow(), child.Handle());
  SetFocus(Target());
  EXPECT_EQ(ZKHooks_GetFocusedWindow(), Target());
}

}  // namespace
}  // namespace hooktest
