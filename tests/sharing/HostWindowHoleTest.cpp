// The hole cut into the host's window under the session window, seen as the
// host window's region (GetWindowRgn), with the host window served by the
// test thread as a host's own thread would serve it.

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "SharingSession.h"

namespace {
constexpr UINT kHostPrivate = WM_APP + 7;
constexpr LRESULT kHostAnswer = 1234;
constexpr RECT kHostRect = {40, 20, 600, 460};

// A host's window: it answers kHostPrivate itself and notes what it got.
class TestHostWindow {
 public:
  explicit TestHostWindow(const RECT& r = kHostRect) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "zk test host";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    RegisterClassA(&wc);
    window_ = CreateWindowExA(0, wc.lpszClassName, "host", WS_POPUP | WS_VISIBLE, r.left, r.top,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr, this);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~TestHostWindow() { DestroyWindow(window_); }
  HWND Handle() const { return window_; }
  const std::vector<MSG>& Private() const { return private_; }
  static WNDPROC OwnProcedure() { return Proc; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TestHostWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == kHostPrivate && self) {
      self->private_.push_back(MSG{window, message, wParam, lParam, 0, {}});
      return kHostAnswer;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
  HWND window_;
  std::vector<MSG> private_;
};

WNDPROC ProcedureOf(HWND window) {
  return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
}

// The host window minus the session rectangle, in the host window's own
// coordinates.
HRGN HoleRegion(const RECT& host, const RECT& session) {
  HRGN region = CreateRectRgn(0, 0, host.right - host.left, host.bottom - host.top);
  HRGN hole = CreateRectRgn(session.left - host.left, session.top - host.top,
                            session.right - host.left, session.bottom - host.top);
  CombineRgn(region, region, hole, RGN_DIFF);
  DeleteObject(hole);
  return region;
}

bool HasNoRegion(HWND window) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  bool none = GetWindowRgn(window, region) == ERROR;
  DeleteObject(region);
  return none;
}

bool HasRegion(HWND window, HRGN expected) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  bool same = GetWindowRgn(window, region) != ERROR && EqualRgn(region, expected);
  DeleteObject(region);
  return same;
}
}  // namespace

class HostWindowHole : public SharingSession {
 protected:
  void TearDown() override {
    SharingSession::TearDown();
    for (HRGN region : regions_) DeleteObject(region);
  }

  // Everything the worker has done so far has reached the host window: its
  // posts are dispatched.
  void Settle() {
    ASSERT_TRUE(spy_.Fence());
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }

  HRGN Expected(const RECT& host, const RECT& session) {
    regions_.push_back(HoleRegion(host, session));
    return regions_.back();
  }

  bool AwaitRegion(HWND host, HRGN expected) {
    return PumpWhile([&] { return !HasRegion(host, expected); });
  }

  std::vector<HRGN> regions_;
};

TEST_F(HostWindowHole, IsCutWhileCapturingAndTheHostKeepsItsOwnProcedure) {
  TestHostWindow host, other({700, 600, 900, 700});
  OtherProgram notepad;
  ASSERT_TRUE(notepad.Start());
  ASSERT_TRUE(StartPresenter(nullptr, host.Handle()));
  EXPECT_NE(ProcedureOf(host.Handle()), TestHostWindow::OwnProcedure()) << "not subclassed";
  Settle();
  EXPECT_TRUE(HasNoRegion(host.Handle())) << "a hole while nothing is captured";

  ASSERT_EQ(zk().ClickToShare(notepad.Window(), 1), 1);
  const RECT session = WindowRect(window_);
  EXPECT_TRUE(AwaitRegion(host.Handle(), Expected(kHostRect, session)))
      << "no hole once a window is shared";

  // Another parent changes no subclass, and the host's own messages reach
  // its procedure once, unchanged.
  ASSERT_EQ(zk().SetParentWindow(other.Handle()), 1);
  EXPECT_EQ(ProcedureOf(other.Handle()), TestHostWindow::OwnProcedure());
  ASSERT_EQ(zk().SetParentWindow(host.Handle()), 1);
  EXPECT_EQ(SendMessageA(host.Handle(), kHostPrivate, 11, 22), kHostAnswer);
  ASSERT_EQ(host.Private().size(), 1u);
  EXPECT_EQ(host.Private()[0].wParam, 11u);
  EXPECT_EQ(host.Private()[0].lParam, 22);

  // The viewer's role (display mode): no hole.
  ASSERT_EQ(zk().EnableCapture(0, 0), 1);
  EXPECT_TRUE(PumpWhile([&] { return !HasNoRegion(host.Handle()); }));

  ASSERT_EQ(zk().EnableCapture(1, 9), 1);
  EXPECT_TRUE(AwaitRegion(host.Handle(), Expected(kHostRect, session)));
  Stop();  // the worker takes the hole away while this thread waits in ZK_Release
  EXPECT_TRUE(HasNoRegion(host.Handle())) << "the hole outlived the session";
  EXPECT_EQ(ProcedureOf(host.Handle()), TestHostWindow::OwnProcedure());
}

TEST_F(HostWindowHole, AMinimisedHostKeepsItsRegionAndGetsTheRightOneWhenRestored) {
  TestHostWindow host;
  OtherProgram notepad;
  ASSERT_TRUE(notepad.Start());
  ASSERT_TRUE(StartPresenter(nullptr, host.Handle()));
  ASSERT_EQ(zk().ClickToShare(notepad.Window(), 1), 1);
  HRGN first = Expected(kHostRect, WindowRect(window_));
  ASSERT_TRUE(AwaitRegion(host.Handle(), first));

  ShowWindow(host.Handle(), SW_MINIMIZE);
  const RECT moved = {120, 100, 120 + kFrameWidth, 100 + kFrameHeight};
  zk().SetPosition(moved.left, moved.top, kFrameWidth, kFrameHeight, 1);
  Settle();
  EXPECT_TRUE(HasRegion(host.Handle(), first)) << "a minimised host lost its region";

  ShowWindow(host.Handle(), SW_RESTORE);
  EXPECT_TRUE(AwaitRegion(host.Handle(), Expected(kHostRect, moved)))
      << "the restored host has no hole where the session now is";
}
