#include "sharing/WindowRegionSet.h"

#include <gtest/gtest.h>

namespace {
class WindowRegionSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                             nullptr, nullptr, nullptr);
    set.SetWindow(window);
    a = CreateRectRgn(0, 0, 10, 10);
    b = CreateRectRgn(50, 50, 60, 60);
  }
  void TearDown() override {
    DestroyWindow(window);
    DeleteObject(a);
    DeleteObject(b);
  }
  // Whether the window's current region contains a point (no region: all).
  bool Shows(int x, int y) {
    HRGN current = CreateRectRgn(0, 0, 0, 0);
    int kind = GetWindowRgn(window, current);
    bool inside = kind == ERROR || PtInRegion(current, x, y);
    DeleteObject(current);
    return inside;
  }
  bool HasRegion() {
    HRGN current = CreateRectRgn(0, 0, 0, 0);
    int kind = GetWindowRgn(window, current);
    DeleteObject(current);
    return kind != ERROR;
  }
  HWND window = nullptr;
  WindowRegionSet set;
  HRGN a = nullptr;
  HRGN b = nullptr;
};
}  // namespace

TEST_F(WindowRegionSetTest, ShapesTheWindowToTheUnionWhileEnabled) {
  set.Add(a);
  EXPECT_FALSE(HasRegion()) << "a disabled set leaves the window whole";
  set.Enable(true);
  set.Add(b);
  EXPECT_TRUE(Shows(5, 5));
  EXPECT_TRUE(Shows(55, 55));
  EXPECT_FALSE(Shows(30, 30));

  set.Enable(false);
  EXPECT_FALSE(HasRegion());
  set.Enable(true);
  EXPECT_TRUE(Shows(55, 55));
  EXPECT_FALSE(Shows(30, 30));
}

TEST_F(WindowRegionSetTest, RemovingReappliesEvenWhenTheRegionIsNotListed) {
  set.Enable(true);
  set.Add(a);
  set.Add(b);
  set.Remove(b, true);
  EXPECT_FALSE(Shows(55, 55));
  EXPECT_EQ(set.GetRegionCount(), 1u);

  SetWindowRgn(window, nullptr, TRUE);
  HRGN unlisted = CreateRectRgn(0, 0, 1, 1);
  set.Remove(unlisted, true);
  DeleteObject(unlisted);
  EXPECT_TRUE(Shows(5, 5));
  EXPECT_FALSE(Shows(55, 55)) << "the union was applied again";
}

TEST_F(WindowRegionSetTest, ResetEmptiesTheListAndRemovesTheRegion) {
  set.Enable(true);
  set.Add(a);
  set.Reset();
  EXPECT_EQ(set.GetRegionCount(), 0u);
  EXPECT_FALSE(HasRegion());
  EXPECT_TRUE(set.IsEnabled());
}

TEST(IsWindowUsable, NeedsAVisibleWindowOfSixteenPixelsOnTheScreen) {
  HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 10, 10, 16, 16, nullptr, nullptr,
                           nullptr, nullptr);
  EXPECT_TRUE(IsWindowUsable(w));
  SetWindowPos(w, nullptr, 10, 10, 15, 16, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_FALSE(IsWindowUsable(w));
  SetWindowPos(w, nullptr, -40, 10, 20, 20, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_FALSE(IsWindowUsable(w)) << "right edge negative";
  SetWindowPos(w, nullptr, 10, 10, 20, 20, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_TRUE(IsWindowUsable(w));
  ShowWindow(w, SW_HIDE);
  EXPECT_FALSE(IsWindowUsable(w));
  DestroyWindow(w);
}
