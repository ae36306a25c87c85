// The portable viewer model fed with events made by the real compressor.
#include "frames/ViewerModel.h"

#include <gtest/gtest.h>

#include <cstring>

#include "annotation/AnnotationGeometry.h"
#include "events/ContainerBuilder.h"
#include "frames/PictureBounds.h"
#include "frames/ViewerStreams.h"

namespace {

constexpr uint32_t kToken = 5;

class ViewerModelTest : public ::testing::Test {
 protected:
  // Lossless stages, so that what arrives is exactly what was sent.
  ViewerModelTest() {
    presenter_.EnableLZ(true);
    presenter_.EnableHuffman(true);
  }
  ViewerEventResult Post(uint32_t type, const std::vector<uint8_t>& payload) {
    return model_.Receive(type, payload.data(), static_cast<uint32_t>(payload.size()));
  }
  Pixels Held() const {
    const PictureView view = model_.Picture();
    return Pixels(view.pixels, view.pixels + static_cast<size_t>(view.width) * view.height * 3);
  }
  // Format and whole picture, as a full frame is sent.
  void SendWhole(int32_t w, int32_t h, const Pixels& picture) {
    ASSERT_EQ(Post(ZKP_DISPLAYFORMAT, FormatPayload(kToken, w, h)), ViewerEventResult::APPLIED);
    ASSERT_EQ(Post(ZKP_DISPLAYUPDATE,
                   UpdatePayload(kToken, 0, 0, w, h, CompressPicture(presenter_, picture, nullptr))),
              ViewerEventResult::APPLIED);
    model_.TakeChanges();
  }
  // A rectangle of `next` sent against what the model holds.
  std::vector<uint8_t> PartialUpdate(const Pixels& held, const Pixels& next, int32_t frameW,
                                     int32_t frameH, Rect r) {
    Pixels reference(static_cast<size_t>(r.Width()) * r.Height() * 3), grab(reference.size());
    ExtractRect(3, frameW, frameH, held.data(), r.left, r.top, r.Width(), r.Height(),
                reference.data());
    ExtractRect(3, frameW, frameH, next.data(), r.left, r.top, r.Width(), r.Height(), grab.data());
    return UpdatePayload(kToken, r.left, r.top, r.Width(), r.Height(),
                         CompressPicture(presenter_, grab, &reference));
  }

  CompressionMgr presenter_;
  ViewerModel model_;
};

Pixels Grey(int32_t w, int32_t h) {
  Pixels p(static_cast<size_t>(w) * h * 3);
  FillPixels(3, static_cast<uint32_t>(w) * h, kBlankPictureColour, p.data());
  return p;
}

TEST_F(ViewerModelTest, FormatChangeKeepsTheTopLeftOverlapAndGreysTheRest) {
  const Pixels first = PatternPicture(40, 30, 1);
  SendWhole(40, 30, first);
  ASSERT_EQ(Held(), first);

  // 27 wide rounds down to 24; the overlap is 24 x 30 of the old picture.
  ASSERT_EQ(Post(ZKP_DISPLAYFORMAT, FormatPayload(kToken, 27, 50)), ViewerEventResult::APPLIED);
  Pixels expected = Grey(24, 50);
  Pixels overlap(24 * 30 * 3);
  ExtractRect(3, 40, 30, first.data(), 0, 0, 24, 30, overlap.data());
  InsertRect(3, 0, 0, 24, 30, overlap.data(), 24, 50, expected.data());
  EXPECT_EQ(model_.Picture().width, 24);
  EXPECT_EQ(model_.Picture().height, 50);
  EXPECT_EQ(Held(), expected);
  const ViewerChanges changes = model_.TakeChanges();
  ASSERT_EQ(changes.picture.size(), 1u);
  EXPECT_EQ(changes.picture[0], (Rect{0, 0, 24, 50}));
}

TEST_F(ViewerModelTest, PartialUpdateChangesExactlyItsRectangleAndReportsIt) {
  const Pixels first = PatternPicture(64, 48, 2), second = PatternPicture(64, 48, 3);
  SendWhole(64, 48, first);
  const Rect r{12, 8, 40, 30};
  ASSERT_EQ(Post(ZKP_DISPLAYUPDATE, PartialUpdate(first, second, 64, 48, r)),
            ViewerEventResult::APPLIED);
  Pixels expected = first, piece(static_cast<size_t>(r.Width()) * r.Height() * 3);
  ExtractRect(3, 64, 48, second.data(), r.left, r.top, r.Width(), r.Height(), piece.data());
  InsertRect(3, r.left, r.top, r.Width(), r.Height(), piece.data(), 64, 48, expected.data());
  EXPECT_EQ(Held(), expected);
  const ViewerChanges changes = model_.TakeChanges();
  ASSERT_EQ(changes.picture.size(), 1u);
  EXPECT_EQ(changes.picture[0], r);
  EXPECT_TRUE(model_.TakeChanges().picture.empty());
}

TEST_F(ViewerModelTest, EightBitPicturesComeThroughTheReceivedPalette) {
  presenter_.EnableRLE332(true);
  const Pixels source = PatternPicture(32, 16, 4);
  const std::vector<uint8_t> palette = PalettePayload(kToken, source);
  ASSERT_EQ(Post(ZKP_DISPLAYFORMAT, FormatPayload(kToken, 32, 16)), ViewerEventResult::APPLIED);
  ASSERT_EQ(Post(ZKP_PALETTE, palette), ViewerEventResult::APPLIED);
  ASSERT_EQ(Post(ZKP_DISPLAYUPDATE,
                 UpdatePayload(kToken, 0, 0, 32, 16, CompressPicture(presenter_, source, nullptr))),
            ViewerEventResult::APPLIED);
  // Each pixel is the palette colour of its 3-3-2 value.
  const uint8_t* entries = palette.data() + 4;
  Pixels expected(source.size());
  for (size_t i = 0; i < source.size(); i += 3) {
    const uint8_t v = Quantize332(source[i], source[i + 1], source[i + 2]);
    std::memcpy(&expected[i], entries + 4 * v, 3);
  }
  EXPECT_EQ(Held(), expected);

  // A palette alone recolours what is held: here, all black.
  std::vector<uint8_t> black(4 + kPaletteBytes, 0);
  StoreU32LE(black.data(), kToken);
  ASSERT_EQ(Post(ZKP_PALETTE, black), ViewerEventResult::APPLIED);
  EXPECT_EQ(Held(), Pixels(source.size(), 0));
}

TEST_F(ViewerModelTest, FullUpdateContainerBringsPictureMarksAndModeInOrder) {
  const Pixels picture = PatternPicture(48, 20, 5);
  AnnotationMessage marker{kAnnotationMarker, 0, 10, 4, 26, 20, 0x0000FF};
  const std::vector<uint8_t> container =
      ContainerBuilder(9)
          .Record(ZKP_DISPLAYFORMAT, FormatPayload(kToken, 48, 20))
          .Record(ZKP_DISPLAYUPDATE,
                  UpdatePayload(kToken, 0, 0, 48, 20, CompressPicture(presenter_, picture, nullptr)))
          .Record(ZKP_ANNOTATION, marker)
          .Record(ZKP_ANNOTATIONMODE, AnnotationModeMessage{kToken, 1})
          .Build();
  ASSERT_EQ(Post(ZKP_FULLUPDATE, container), ViewerEventResult::APPLIED);
  EXPECT_EQ(Held(), picture);
  ASSERT_EQ(model_.Marks().size(), 1u);
  EXPECT_EQ(model_.Marks()[0].kind, kAnnotationMarker);
  EXPECT_EQ(model_.Marks()[0].rect, (Rect{10, 4, 26, 20}));
  EXPECT_EQ(model_.Marks()[0].colour, 0x0000FFu);
  EXPECT_TRUE(model_.IsAnnotationModeOn());
  const ViewerChanges changes = model_.TakeChanges();
  EXPECT_TRUE(changes.marks);
  EXPECT_TRUE(changes.annotationMode);
}

TEST_F(ViewerModelTest, PointerAndCancelAreKept) {
  ASSERT_EQ(Post(ZKP_MOUSEPOSITION, BytesOf(MouseMessage{1, 0x200, 0, PackedPoint{-3, 77}})),
            ViewerEventResult::APPLIED);
  int32_t x = 0, y = 0;
  ASSERT_TRUE(model_.GetPointer(&x, &y));
  EXPECT_EQ(x, -3);
  EXPECT_EQ(y, 77);
  EXPECT_FALSE(model_.IsInputControlCancelled());
  ASSERT_EQ(model_.Receive(ZKP_CANCELINPUTCONTROL, nullptr, 0), ViewerEventResult::APPLIED);
  EXPECT_TRUE(model_.IsInputControlCancelled());
  const ViewerChanges changes = model_.TakeChanges();
  EXPECT_TRUE(changes.pointer);
  EXPECT_TRUE(changes.inputControlCancelled);
}

TEST_F(ViewerModelTest, HostileEventsAreRefusedAndChangeNothing) {
  const Pixels first = PatternPicture(32, 32, 6), second = PatternPicture(32, 32, 7);
  SendWhole(32, 32, first);
  const std::vector<uint8_t> good = PartialUpdate(first, second, 32, 32, Rect{4, 4, 20, 20});

  std::vector<uint8_t> truncated(good.begin(), good.end() - 5);
  std::vector<uint8_t> lying = good;  // claims a longer stream than it carries
  StoreU32LE(lying.data() + 13, static_cast<uint32_t>(good.size()));
  std::vector<uint8_t> corrupt = good;
  for (size_t i = 18; i + 1 < corrupt.size(); ++i) corrupt[i] ^= 0xA5;
  std::vector<uint8_t> outside = good;
  StoreU16LE(outside.data() + 5, 20);  // left 20 + width 16 > 32
  std::vector<uint8_t> stale = good;
  StoreU32LE(stale.data(), kToken - 1);

  EXPECT_EQ(Post(ZKP_DISPLAYUPDATE, truncated), ViewerEventResult::REFUSED);
  EXPECT_EQ(Post(ZKP_DISPLAYUPDATE, lying), ViewerEventResult::REFUSED);
  EXPECT_EQ(Post(ZKP_DISPLAYUPDATE, corrupt), ViewerEventResult::REFUSED);
  EXPECT_EQ(Post(ZKP_DISPLAYUPDATE, outside), ViewerEventResult::REFUSED);
  EXPECT_EQ(Post(ZKP_DISPLAYUPDATE, stale), ViewerEventResult::IGNORED);
  EXPECT_EQ(Post(ZKP_DISPLAYFORMAT, FormatPayload(kToken, 65535, 65535)),
            ViewerEventResult::REFUSED);
  EXPECT_EQ(Post(ZKP_PALETTE, std::vector<uint8_t>(100, 1)), ViewerEventResult::REFUSED);
  EXPECT_EQ(model_.Receive(ZKP_DISPLAYUPDATE, nullptr, 40), ViewerEventResult::REFUSED);
  const std::vector<uint8_t> crossing =
      ContainerBuilder()
          .RecordClaiming(ZKP_DISPLAYUPDATE, static_cast<uint32_t>(good.size() + 1), good)
          .Build();
  EXPECT_EQ(Post(ZKP_FULLUPDATE, crossing), ViewerEventResult::REFUSED);
  EXPECT_EQ(model_.Picture().width, 32);
  EXPECT_EQ(Held(), first);
  EXPECT_TRUE(model_.TakeChanges().picture.empty());
}

TEST_F(ViewerModelTest, MarksBeyondTheLimitOrLargerThanThePictureAreRefused) {
  SendWhole(16, 16, PatternPicture(16, 16, 8));
  const AnnotationMessage huge{kAnnotationHighlight, 0, 0, 0, 17, 4, 0};
  EXPECT_EQ(Post(ZKP_ANNOTATION, BytesOf(huge)), ViewerEventResult::REFUSED);
  const AnnotationMessage mark{kAnnotationHighlight, 0, 2, 2, 10, 10, 0};
  for (size_t i = 0; i < kMaxAnnotationElements; ++i)
    ASSERT_EQ(Post(ZKP_ANNOTATION, BytesOf(mark)), ViewerEventResult::APPLIED);
  EXPECT_EQ(Post(ZKP_ANNOTATION, BytesOf(mark)), ViewerEventResult::REFUSED);
  EXPECT_EQ(model_.Marks().size(), kMaxAnnotationElements);
  const AnnotationMessage clear{kAnnotationClearAll, 1, 0, 0, 0, 0, 0};
  EXPECT_EQ(Post(ZKP_ANNOTATION, BytesOf(clear)), ViewerEventResult::APPLIED);
  EXPECT_TRUE(model_.Marks().empty());
}

// Many small updates between two looks must not grow the report without
// end: past a bound it becomes the whole picture, which still covers them.
TEST_F(ViewerModelTest, ManySeparateUpdatesAreReportedAsTheWholePicture) {
  const Pixels first = PatternPicture(64, 64, 9), second = PatternPicture(64, 64, 10);
  SendWhole(64, 64, first);
  Pixels held = first;
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 64; x += 8) {
      const Rect r{x, y, x + 4, y + 1};
      ASSERT_EQ(Post(ZKP_DISPLAYUPDATE, PartialUpdate(held, second, 64, 64, r)),
                ViewerEventResult::APPLIED);
      Pixels piece(4 * 3);
      ExtractRect(3, 64, 64, second.data(), x, y, 4, 1, piece.data());
      InsertRect(3, x, y, 4, 1, piece.data(), 64, 64, held.data());
    }
  EXPECT_EQ(Held(), held);
  const std::vector<Rect> changed = model_.TakeChanges().picture;
  ASSERT_FALSE(changed.empty());
  EXPECT_LE(changed.size(), 257u);
  EXPECT_EQ(changed[0], (Rect{0, 0, 64, 64}));
}

}  // namespace
