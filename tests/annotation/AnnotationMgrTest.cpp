// The annotation manager's edge cases with a real window, region set, frame
// and outgoing queue, driven as the worker drives it.

#include "annotation/AnnotationMgr.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <limits>
#include <vector>

#include "common/HostMemory.h"
#include "events/EventMgr.h"
#include "frames/FrameMgr.h"
#include "sharing/WindowRegionSet.h"

namespace {
constexpr int kWidth = 320, kHeight = 240;
constexpr uint32_t kRed = 0x000000FF;

LPARAM Point(int x, int y) { return MAKELPARAM(x, y); }
// Escape's scan code in bits 16 to 23, as a key-up message carries it.
constexpr LPARAM kEscapeUp = static_cast<LPARAM>(0xC0010001u);

struct Sent {
  uint32_t type;
  std::vector<uint8_t> payload;
};

class AnnotationMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
    regions_.SetWindow(window_);
    events_.CreateSignal();
    ASSERT_TRUE(frame_.Init(&events_));
    ASSERT_TRUE(frame_.SetFrameFormat(kWidth, kHeight));
    manager_.Init(window_, &regions_, &events_, &frame_);
  }
  void TearDown() override {
    manager_.Reset();
    regions_.Reset();
    DestroyWindow(window_);
    events_.CloseSignal();
  }

  std::vector<Sent> TakeSent() {
    std::vector<Sent> sent;
    Event event;
    while (events_.GetQueuedEvent(&event)) {
      sent.push_back(Sent{event.type, std::vector<uint8_t>(event.payload,
                                                           event.payload + event.size)});
      HostFree(event.payload);
    }
    return sent;
  }
  static AnnotationMessage Parsed(const Sent& sent) {
    AnnotationMessage message = {};
    EXPECT_TRUE(ParseMessage(sent.payload.data(), static_cast<uint32_t>(sent.payload.size()),
                             &message));
    return message;
  }
  // Whether the window's region (in window coordinates) holds a point.
  bool RegionHolds(int x, int y) {
    HRGN current = CreateRectRgn(0, 0, 0, 0);
    const bool inside = GetWindowRgn(window_, current) != ERROR && PtInRegion(current, x, y);
    DeleteObject(current);
    return inside;
  }
  void Drag(int fromX, int fromY, int toX, int toY) {
    manager_.OnInput(WM_LBUTTONDOWN, 0, Point(fromX, fromY));
    manager_.OnInput(WM_MOUSEMOVE, 0, Point((fromX + toX) / 2, (fromY + toY) / 2));
    manager_.OnInput(WM_LBUTTONUP, 0, Point(toX, toY));
  }

  HWND window_ = nullptr;
  WindowRegionSet regions_;
  EventMgr events_;
  FrameMgr frame_;
  AnnotationMgr manager_;
};

TEST_F(AnnotationMgrTest, AHighlightDraggedBackwardsIsSentWithNormalisedBounds) {
  manager_.StartHighlight();
  Drag(50, 40, 10, 60);
  ASSERT_EQ(manager_.GetElementCount(), 1u);
  EXPECT_FALSE(manager_.IsPlacementArmed());
  std::vector<Sent> sent = TakeSent();
  ASSERT_EQ(sent.size(), 2u);
  ASSERT_EQ(sent[0].type, static_cast<uint32_t>(ZKP_ANNOTATION));
  const AnnotationMessage highlight = Parsed(sent[0]);
  EXPECT_EQ(highlight.kind, kAnnotationHighlight);
  EXPECT_EQ(highlight.flag, 0);
  EXPECT_EQ((Rect{highlight.left, highlight.top, highlight.right, highlight.bottom}),
            (Rect{10, 40, 50, 60}));
  EXPECT_EQ(sent[1].type, static_cast<uint32_t>(ZKP_ENDANNOTATION));
}

TEST_F(AnnotationMgrTest, AMarkerTravelsInPictureCoordinatesAndLandsThereAtTheReceiver) {
  manager_.SetOffset(100, 0);
  manager_.StartMarker(kRed);
  manager_.OnInput(WM_LBUTTONDOWN, 0, Point(20, 30));
  manager_.OnInput(WM_LBUTTONUP, 0, Point(20, 30));
  std::vector<Sent> sent = TakeSent();
  ASSERT_GE(sent.size(), 1u);
  const AnnotationMessage marker = Parsed(sent[0]);
  EXPECT_EQ(marker.kind, kAnnotationMarker);
  EXPECT_EQ((Rect{marker.left, marker.top, marker.right, marker.bottom}),
            (Rect{120, 30, 136, 46}));
  EXPECT_EQ(marker.colour, kRed);

  // A receiver whose view is not scrolled shows it at (120, 30).
  manager_.Reset();
  ASSERT_TRUE(manager_.OnAnnotation(marker));
  ASSERT_EQ(manager_.GetElementCount(), 1u);
  regions_.Enable(true);
  EXPECT_TRUE(RegionHolds(121, 31)) << "the arrow's tip";
  EXPECT_FALSE(RegionHolds(21, 31));
  EXPECT_TRUE(TakeSent().empty()) << "received elements are not sent again";
}

TEST_F(AnnotationMgrTest, EscapeInMidDragDropsTheElementAndSendsOnlyTheEnd) {
  manager_.StartHighlight();
  manager_.OnInput(WM_LBUTTONDOWN, 0, Point(30, 30));
  manager_.OnInput(WM_MOUSEMOVE, 0, Point(90, 80));
  EXPECT_EQ(GetCapture(), window_);
  manager_.OnInput(WM_KEYUP, VK_ESCAPE, kEscapeUp);
  EXPECT_EQ(manager_.GetElementCount(), 0u);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_FALSE(manager_.OnInput(WM_LBUTTONUP, 0, Point(90, 80))) << "placement has ended";
  std::vector<Sent> sent = TakeSent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].type, static_cast<uint32_t>(ZKP_ENDANNOTATION));
}

TEST_F(AnnotationMgrTest, ClearingInMidDragEndsThePlacementWithItsElement) {
  manager_.StartHighlight();
  manager_.OnInput(WM_LBUTTONDOWN, 0, Point(30, 30));
  manager_.OnInput(WM_MOUSEMOVE, 0, Point(90, 80));
  manager_.ClearElements(true);
  EXPECT_EQ(manager_.GetElementCount(), 0u);
  EXPECT_FALSE(manager_.IsPlacementArmed());
  EXPECT_FALSE(manager_.OnInput(WM_MOUSEMOVE, 0, Point(95, 85))) << "nothing left to move";
  std::vector<Sent> sent = TakeSent();
  ASSERT_EQ(sent.size(), 1u) << "the drag's element was never sent: nothing to clear elsewhere";
  EXPECT_EQ(sent[0].type, static_cast<uint32_t>(ZKP_ENDANNOTATION));
}

TEST_F(AnnotationMgrTest, AClearAllWithoutItsFlagChangesNothing) {
  ASSERT_TRUE(manager_.OnAnnotation(AnnotationMessage{kAnnotationHighlight, 0, 10, 10, 60, 40, 0}));
  EXPECT_FALSE(manager_.OnAnnotation(AnnotationMessage{kAnnotationClearAll, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(manager_.GetElementCount(), 1u);
  EXPECT_EQ(regions_.GetRegionCount(), 1u);
  EXPECT_TRUE(manager_.OnAnnotation(AnnotationMessage{kAnnotationClearAll, 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(manager_.GetElementCount(), 0u);
  EXPECT_EQ(regions_.GetRegionCount(), 0u);
  EXPECT_TRUE(TakeSent().empty()) << "a received clear is not announced again";
}

TEST_F(AnnotationMgrTest, ClearingSendsOneClearAllOnlyWhenThereWereElements) {
  manager_.ClearElements(true);
  EXPECT_TRUE(TakeSent().empty());
  manager_.OnAnnotation(AnnotationMessage{kAnnotationHighlight, 0, 10, 10, 60, 40, 0});
  manager_.OnAnnotation(AnnotationMessage{kAnnotationMarker, 0, 80, 10, 96, 26, kRed});
  manager_.ClearElements(true);
  std::vector<Sent> sent = TakeSent();
  ASSERT_EQ(sent.size(), 1u);
  const AnnotationMessage clear = Parsed(sent[0]);
  EXPECT_EQ(clear.kind, kAnnotationClearAll);
  EXPECT_EQ(clear.flag, 1);
}

TEST_F(AnnotationMgrTest, AfterSetOffsetTheWindowRegionFollowsTheMovedElements) {
  regions_.Enable(true);
  manager_.OnAnnotation(AnnotationMessage{kAnnotationHighlight, 0, 100, 100, 140, 120, 0});
  ASSERT_TRUE(RegionHolds(110, 110));
  manager_.SetOffset(50, 20);  // scrolled right and down: the picture moves left and up
  EXPECT_TRUE(RegionHolds(60, 90));
  EXPECT_FALSE(RegionHolds(110, 110));
  EXPECT_EQ(regions_.GetRegionCount(), 1u) << "the old region left the set";
  manager_.SendElements();
  std::vector<Sent> sent = TakeSent();
  ASSERT_EQ(sent.size(), 1u);
  const AnnotationMessage moved = Parsed(sent[0]);
  EXPECT_EQ((Rect{moved.left, moved.top, moved.right, moved.bottom}), (Rect{100, 100, 140, 120}))
      << "the picture position stays";
}

// Marks received until the list is full leave no room for a local one: a
// placement does not start, and one started before the list filled places
// nothing. A clear-all makes room again.
TEST_F(AnnotationMgrTest, AFullListRefusesReceivedAndLocalMarksUntilCleared) {
  manager_.StartMarker(kRed);
  for (size_t i = 0; i < kMaxAnnotationElements; ++i)
    ASSERT_TRUE(manager_.OnAnnotation(AnnotationMessage{kAnnotationMarker, 0, 0, 0, 16, 16, kRed}));
  EXPECT_FALSE(manager_.OnAnnotation(AnnotationMessage{kAnnotationMarker, 0, 0, 0, 16, 16, kRed}));
  manager_.OnInput(WM_LBUTTONDOWN, 0, Point(20, 30));
  EXPECT_FALSE(manager_.IsPlacementArmed()) << "the press placed a mark beyond the bound";
  manager_.StartHighlight();
  EXPECT_FALSE(manager_.IsPlacementArmed());
  EXPECT_EQ(manager_.GetElementCount(), kMaxAnnotationElements);
  EXPECT_EQ(regions_.GetRegionCount(), kMaxAnnotationElements);

  ASSERT_TRUE(manager_.OnAnnotation(AnnotationMessage{kAnnotationClearAll, 1, 0, 0, 0, 0, 0}));
  manager_.StartHighlight();
  EXPECT_TRUE(manager_.IsPlacementArmed());
}

TEST_F(AnnotationMgrTest, HostileRecordsAreDroppedAndBuildNoRegion) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  manager_.SetOffset(100, 0);
  const AnnotationMessage hostile[] = {
      {3, 0, 0, 0, 16, 16, 0},                             // unknown kind
      {kAnnotationHighlight, 0, 0, 0, kWidth + 1, 10, 0},  // wider than the frame
      {kAnnotationHighlight, 0, kMin, kMin, kMax, kMax, 0},
      {kAnnotationMarker, 0, kMin, 0, kMin + 16, 16, kRed},  // overflows when shifted
  };
  for (const AnnotationMessage& message : hostile) EXPECT_FALSE(manager_.OnAnnotation(message));
  EXPECT_EQ(manager_.GetElementCount(), 0u);
  EXPECT_EQ(regions_.GetRegionCount(), 0u);
  // A payload shorter than its kind needs never becomes a record.
  const uint8_t shortMarker[] = {kAnnotationMarker, 0, 1, 2, 3};
  AnnotationMessage parsed;
  EXPECT_FALSE(ParseMessage(shortMarker, sizeof shortMarker, &parsed));
}

// A 64 x 64 bitmap filled with one colour, to draw elements into.
class Target {
 public:
  explicit Target(COLORREF fill) {
    HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    bitmap_ = CreateCompatibleBitmap(screen, 64, 64);
    ReleaseDC(nullptr, screen);
    old_ = SelectObject(dc_, bitmap_);
    RECT all = {0, 0, 64, 64};
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
  }
  ~Target() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC Dc() const { return dc_; }
  COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

TEST_F(AnnotationMgrTest, AHighlightShowsTheFrameInvertedWithBlueOrNothingWithoutAFrame) {
  const COLORREF green = RGB(0, 200, 0);
  manager_.StartHighlight();
  manager_.OnInput(WM_LBUTTONDOWN, 0, Point(8, 8));
  manager_.OnInput(WM_MOUSEMOVE, 0, Point(40, 40));
  Target painted(green);
  manager_.DrawElements(painted.Dc());
  EXPECT_EQ(painted.At(20, 20), RGB(0x80, 0x80, 0x80 ^ 0xFF)) << "the grey frame, inverted with blue";
  EXPECT_EQ(painted.At(50, 50), green) << "outside the highlight";

  FrameMgr empty;  // no frame buffer: nothing to paint from
  ASSERT_TRUE(empty.Init(&events_));
  AnnotationMgr manager;
  manager.Init(window_, &regions_, nullptr, &empty);
  manager.StartHighlight();
  manager.OnInput(WM_LBUTTONDOWN, 0, Point(8, 8));
  manager.OnInput(WM_MOUSEMOVE, 0, Point(40, 40));
  Target untouched(green);
  manager.DrawElements(untouched.Dc());
  for (int y = 0; y < 64; y += 3)
    for (int x = 0; x < 64; x += 3) ASSERT_EQ(untouched.At(x, y), green) << x << "," << y;
  manager.EndPlacement(true);
  manager_.EndPlacement(true);
}
}  // namespace
