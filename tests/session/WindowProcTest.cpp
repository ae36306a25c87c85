#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "ProcessCensus.h"
#include "api/HostSession.h"

namespace {
constexpr UINT_PTR kInputTimer = 1001;
constexpr uint32_t kInputToken = 21;

LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }

int ClientWidth(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  return r.right;
}

int FrameWidth(HWND window) {
  RECT w, c;
  GetWindowRect(window, &w);
  GetClientRect(window, &c);
  return ((w.right - w.left) - c.right) / 2;
}

MouseMessage MouseOf(const ReceivedEvent& e) {
  MouseMessage mouse = {};
  EXPECT_TRUE(ParseBytes(e.payload, &mouse));
  return mouse;
}
uint32_t MessageOf(const ReceivedEvent& e) { return MouseOf(e).message; }
}  // namespace

class WindowProc : public HostSessionTest {};

TEST_F(WindowProc, AWidthGivingA301PixelClientAreaEndsAt304WithoutAFrame) {
  ASSERT_TRUE(Start());
  ASSERT_EQ(FrameWidth(window_), 0);
  // Sized from this thread: the worker rounds in its WM_WINDOWPOSCHANGING.
  ASSERT_TRUE(SetWindowPos(window_, nullptr, 10, 10, 301, 200, SWP_NOZORDER | SWP_NOACTIVATE));
  EXPECT_EQ(ClientWidth(window_), 304);
  RECT r;
  GetWindowRect(window_, &r);
  EXPECT_EQ(r.bottom - r.top, 200) << "the height is left alone";
  EXPECT_EQ(r.left, 10);
}

TEST_F(WindowProc, AWidthGivingA301PixelClientAreaEndsAt304WithAFrame) {
  ASSERT_TRUE(Start("[ZK]\nShowTitleBar=1\nShowBorder=1\n"));
  int frame = FrameWidth(window_);
  ASSERT_GT(frame, 0);
  ASSERT_TRUE(SetWindowPos(window_, nullptr, 10, 10, 301 + 2 * frame, 200,
                           SWP_NOZORDER | SWP_NOACTIVATE));
  EXPECT_EQ(ClientWidth(window_), 304);
}

TEST_F(WindowProc, AHostPositionOf301PixelsShowsA304PixelClientArea) {
  ASSERT_TRUE(Start());
  ASSERT_TRUE(ShowAt(40, 30, 301, 200));
  EXPECT_EQ(ClientWidth(window_), 304);
}

TEST_F(WindowProc, ANonClientAndAClientMoveWithOneLParamReachTheInputHandlersOnce) {
  ASSERT_TRUE(Start());
  ASSERT_EQ(zk().EnableInputControl(1, kInputToken), 1);
  ASSERT_TRUE(spy_.Fence());
  TakeQueuedEvents(zk());

  // Moves wait for the input timer; a tick posted behind each move sends it
  // at once, so a move that reached the handlers twice would go out twice.
  // Real ticks in between change nothing: a move goes out once whoever ticks.
  const std::vector<std::pair<UINT, LPARAM>> moves = {
      {WM_NCMOUSEMOVE, Point(10, 7)},  // distinct points: both count
      {WM_MOUSEMOVE, Point(20, 7)},
      {WM_NCMOUSEMOVE, Point(30, 7)},  // the same point twice: once
      {WM_MOUSEMOVE, Point(30, 7)},
  };
  for (const auto& move : moves) {
    ASSERT_TRUE(PostMessageA(window_, move.first, 0, move.second));
    ASSERT_TRUE(spy_.PostTick(kInputTimer));
  }
  ASSERT_TRUE(PostMessageA(window_, WM_LBUTTONDOWN, MK_LBUTTON, Point(40, 7)));

  EventList events;
  ASSERT_TRUE(CollectUntil(zk(), &events, [](const EventList& e) {
    for (const ReceivedEvent& m : OfType(e, ZKP_MOUSEUPDATE))
      if (MessageOf(m) == WM_LBUTTONDOWN) return true;
    return false;
  }));
  EventList updates = OfType(events, ZKP_MOUSEUPDATE);
  ASSERT_EQ(updates.size(), 4u) << "three moves and the click";
  for (const ReceivedEvent& u : updates) {
    ASSERT_EQ(u.payload.size(), kMouseMessageSize);
    EXPECT_EQ(MouseOf(u).token, kInputToken);
  }
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(MessageOf(updates[i]), static_cast<uint32_t>(WM_MOUSEMOVE));
  EXPECT_EQ(MessageOf(updates[3]), static_cast<uint32_t>(WM_LBUTTONDOWN));
  EXPECT_EQ(MouseOf(updates[3]).wParam, static_cast<uint32_t>(MK_LBUTTON));
  // Frame coordinates differ from client ones by a fixed offset.
  for (size_t i = 1; i < updates.size(); ++i) {
    PackedPoint before = MouseOf(updates[i - 1]).point, now = MouseOf(updates[i]).point;
    EXPECT_EQ(now.x - before.x, 10) << "update " << i;
    EXPECT_EQ(now.y, before.y);
  }
}

TEST_F(WindowProc, AltAloneNeverEntersTheWindowMenu) {
  ASSERT_TRUE(Start());
  ASSERT_TRUE(spy_.Fence());
  spy_.Clear();
  // Alt pressed and released with nothing between: the pair that asks the
  // default procedure for the window menu (context code set on the press).
  const LPARAM press = 0x20380001, release = static_cast<LPARAM>(0xC0380001);
  ASSERT_TRUE(PostMessageA(window_, WM_SYSKEYDOWN, VK_MENU, press));
  ASSERT_TRUE(PostMessageA(window_, WM_SYSKEYUP, VK_MENU, release));
  ASSERT_TRUE(spy_.Fence());

  auto keyMenu = spy_.Sent([](const SessionSpy::Record& r) {
    return r.message == WM_SYSCOMMAND && (r.wParam & 0xFFF0) == SC_KEYMENU;
  });
  EXPECT_EQ(keyMenu.size(), 1u) << "the keys did not ask for the window menu";
  EXPECT_TRUE(spy_.Sent([](const SessionSpy::Record& r) {
                    return r.message == WM_ENTERMENULOOP || r.message == WM_INITMENU;
                  }).empty());
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetGUIThreadInfo(spy_.WorkerThreadId(), &info));
  EXPECT_EQ(info.flags & (GUI_INMENUMODE | GUI_SYSTEMMENUMODE | GUI_POPUPMENUMODE), 0u);
}

TEST_F(WindowProc, ClosingTheWindowByItsFrameEndsTheWorkerAndInitStartsANewSession) {
  // A first session leaves the window class and the system's caches behind.
  ASSERT_TRUE(Start());
  Stop();
  ProcessCensus before = TakeProcessCensus();

  ASSERT_TRUE(Start());
  HANDLE worker = OpenThread(SYNCHRONIZE, FALSE, spy_.WorkerThreadId());
  ASSERT_NE(worker, nullptr);
  HWND first = window_;
  ASSERT_TRUE(PostMessageA(first, WM_SYSCOMMAND, SC_CLOSE, 0));
  EXPECT_EQ(WaitForSingleObject(worker, 10000), WAIT_OBJECT_0) << "the worker did not end";
  CloseHandle(worker);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(zk().EnableCapture(1, 1), 0) << "posted to a session that has ended";
  spy_.Detach();
  ProcessCensus closed = TakeProcessCensus();
  EXPECT_EQ(closed.threads, before.threads);
  EXPECT_EQ(closed.windows, before.windows);

  ASSERT_TRUE(Start("[ZK]\nCaptureDesktop=1\n"));
  EXPECT_NE(window_, first);
  ASSERT_EQ(zk().EnableCapture(1, 0x2024), 1);
  EventList events;
  ASSERT_TRUE(CollectUntil(zk(), &events, [](const EventList& e) {
    return !OfType(e, ZKP_DISPLAYFORMAT).empty();
  }));
  DisplayFormatMessage format;
  ASSERT_TRUE(ParseBytes(OfType(events, ZKP_DISPLAYFORMAT).front().payload, &format));
  EXPECT_EQ(format.token, 0x2024u);
}
