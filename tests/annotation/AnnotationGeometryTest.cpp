#include "annotation/AnnotationGeometry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(AnnotationGeometry, AHighlightSpansItsCornersInEitherOrder) {
  EXPECT_EQ(HighlightBounds(50, 40, 10, 60), (Rect{10, 40, 50, 60}));
  EXPECT_EQ(HighlightBounds(10, 60, 50, 40), (Rect{10, 40, 50, 60}));
  EXPECT_EQ(HighlightBounds(7, 7, 7, 7), (Rect{7, 7, 7, 7}));
}

TEST(AnnotationGeometry, AMarkerIsAnArrowWithItsTipAtTheTopLeft) {
  const Rect bounds = MarkerBounds(20, 30);
  EXPECT_EQ(bounds, (Rect{20, 30, 36, 46}));
  PolygonPoint arrow[kMarkerPoints];
  MarkerPolygon(bounds, arrow);
  const PolygonPoint expected[kMarkerPoints] = {{20, 30}, {36, 30}, {28, 34}, {36, 42},
                                                {32, 46}, {24, 38}, {20, 46}};
  for (int i = 0; i < kMarkerPoints; ++i) {
    EXPECT_EQ(arrow[i].x, expected[i].x) << i;
    EXPECT_EQ(arrow[i].y, expected[i].y) << i;
  }
}

TEST(AnnotationGeometry, AReceivedRectangleMovesByMinusTheViewOffset) {
  Rect client{};
  // Sent from a view scrolled by (100, 0): client (20, 30) is picture (120, 30).
  ASSERT_TRUE(PictureRectToClient(Rect{120, 30, 136, 46}, 0, 0, 400, 300, &client));
  EXPECT_EQ(client, (Rect{120, 30, 136, 46}));
  ASSERT_TRUE(PictureRectToClient(Rect{120, 30, 136, 46}, 100, 0, 400, 300, &client));
  EXPECT_EQ(client, (Rect{20, 30, 36, 46}));
  // Corners in either order, as a drag leaves them, and a negative margin offset.
  ASSERT_TRUE(PictureRectToClient(Rect{50, 60, 10, 40}, -8, -4, 400, 300, &client));
  EXPECT_EQ(client, (Rect{58, 64, 18, 44}));
}

TEST(AnnotationGeometry, RectanglesNoFrameHoldsAreRefusedAndLeaveTheResultAlone) {
  const Rect untouched{1, 2, 3, 4};
  Rect client = untouched;
  // Wider or taller than the frame, in either corner order.
  EXPECT_FALSE(PictureRectToClient(Rect{0, 0, 401, 10}, 0, 0, 400, 300, &client));
  EXPECT_FALSE(PictureRectToClient(Rect{401, 0, 0, 10}, 0, 0, 400, 300, &client));
  EXPECT_FALSE(PictureRectToClient(Rect{0, 0, 10, 301}, 0, 0, 400, 300, &client));
  // Differences that overflow 32 bits.
  EXPECT_FALSE(PictureRectToClient(Rect{kMin, 0, kMax, 10}, 0, 0, 400, 300, &client));
  EXPECT_FALSE(PictureRectToClient(Rect{kMax, kMax, kMin, kMin}, 0, 0, 400, 300, &client));
  // Small, but its corners overflow when shifted by the view offset.
  EXPECT_FALSE(PictureRectToClient(Rect{kMin, 0, kMin + 16, 16}, 100, 0, 400, 300, &client));
  EXPECT_FALSE(PictureRectToClient(Rect{kMax - 16, 0, kMax, 16}, -100, 0, 400, 300, &client));
  // Far beyond any screen.
  const int32_t far = kAnnotationCoordinateLimit + 1;
  EXPECT_FALSE(PictureRectToClient(Rect{far, 0, far + 16, 16}, 0, 0, 400, 300, &client));
  // No frame yet: nothing fits.
  EXPECT_FALSE(PictureRectToClient(Rect{0, 0, 16, 16}, 0, 0, 0, 0, &client));
  EXPECT_EQ(client, untouched);
}
}  // namespace
