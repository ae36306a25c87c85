// The same received stream, built from screen corpus pictures, through the
// Win32 viewer's session and through the portable ViewerModel: the two
// pictures must agree in every byte.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "PictureFile.h"
#include "events/ContainerBuilder.h"
#include "events/EventMgrTestPeer.h"
#include "frames/ViewerModel.h"
#include "frames/ViewerStreams.h"
#include "session/ProcessCensus.h"
#include "session/TestSession.h"

#ifndef ZK_CORPUS_DIR
#error "ZK_CORPUS_DIR must name the screen corpus"
#endif

namespace {

constexpr uint32_t kToken = 7;

using Received = std::pair<uint32_t, std::vector<uint8_t>>;

Picture Corpus(const char* file) {
  Picture picture;
  std::string error;
  EXPECT_TRUE(ReadPictureFile(std::string(ZK_CORPUS_DIR) + "/" + file, picture, error)) << error;
  return picture;
}

// Builds what a presenter sends: it keeps the reference (what viewers were
// sent) and compresses rectangles of new pictures against it.
class Presenter {
 public:
  explicit Presenter(std::vector<Received>* out) : out_(out) {}
  void Into(std::vector<Received>* out) { out_ = out; }

  void Stages(bool eightBit) {
    codec_ = CompressionMgr();
    codec_.EnableLZ(true);
    codec_.EnableHuffman(true);
    if (eightBit)
      codec_.EnableRLE332(true);
    else
      codec_.EnableRLE565(true);
  }
  void Format(int32_t w, int32_t h) {
    out_->push_back({ZKP_DISPLAYFORMAT, FormatPayload(kToken, static_cast<uint16_t>(w),
                                                      static_cast<uint16_t>(h))});
    width_ = w & ~3;
    height_ = h;
  }
  void Palette(const Picture& p) { out_->push_back({ZKP_PALETTE, PalettePayload(kToken, p.pixels)}); }
  void Whole(const Picture& p) {
    reference_ = p.pixels;
    out_->push_back({ZKP_DISPLAYUPDATE, Update(Rect{0, 0, width_, height_}, p.pixels, nullptr)});
  }
  // Rectangle r of picture p (as large as the frame), against the reference.
  void Part(const Picture& p, Rect r) {
    Pixels grab = Cut(p.pixels, r), reference = Cut(reference_, r);
    out_->push_back({ZKP_DISPLAYUPDATE, Update(r, grab, &reference)});
    InsertRect(3, r.left, r.top, r.Width() & ~3, r.Height(), grab.data(), width_, height_,
               reference_.data());
  }
  // Every band of 64 rows of p that differs from the reference.
  void Changes(const Picture& p) {
    for (int32_t top = 0; top < height_; top += 64) {
      const Rect band{0, top, width_, std::min(top + 64, height_)};
      if (Cut(p.pixels, band) != Cut(reference_, band)) Part(p, band);
    }
  }

 private:
  Pixels Cut(const Pixels& from, Rect r) const {
    Pixels piece(static_cast<size_t>(r.Width() & ~3) * r.Height() * 3);
    ExtractRect(3, width_, height_, from.data(), r.left, r.top, r.Width() & ~3, r.Height(),
                piece.data());
    return piece;
  }
  std::vector<uint8_t> Update(Rect r, const Pixels& grab, const Pixels* reference) {
    return UpdatePayload(kToken, static_cast<uint16_t>(r.left), static_cast<uint16_t>(r.top),
                         static_cast<uint16_t>(r.Width()), static_cast<uint16_t>(r.Height()),
                         CompressPicture(codec_, grab, reference));
  }

  std::vector<Received>* out_;
  CompressionMgr codec_;
  Pixels reference_;
  int32_t width_ = 0, height_ = 0;
};

// Real screen content: a full-update container to start from, typing in an
// editor, odd rectangles, a change of format with the overlap kept, 8-bit
// mode with a palette recolouring what is held, and two events both must
// pass over. No whole picture comes last: the result depends on every step.
std::vector<Received> CorpusStream() {
  std::vector<Received> events, records;
  Presenter presenter(&records);
  presenter.Stages(false);
  presenter.Format(1920, 1080);
  presenter.Whole(Corpus("seq_typing_notepad_1920x1080/frame_00.png"));
  ContainerBuilder container(1);
  for (const Received& r : records) container.Record(r.first, r.second);
  events.push_back({ZKP_FULLUPDATE, container.Build()});

  presenter.Into(&events);
  for (const char* frame : {"seq_typing_notepad_1920x1080/frame_03.png",
                            "seq_typing_notepad_1920x1080/frame_09.png"})
    presenter.Changes(Corpus(frame));
  const Picture mixed = Corpus("s09_mixed_desktop_1920x1080.png");
  presenter.Part(mixed, Rect{101, 33, 101 + 259, 33 + 171});  // width rounds down to 256
  presenter.Format(1283, 1024);                                // keeps the top-left 1280 x 1024
  const Picture files = Corpus("s03_winefile_1280x1024.png");
  presenter.Part(files, Rect{640, 512, 1280, 1024});

  presenter.Stages(true);
  presenter.Palette(files);
  presenter.Part(Corpus("s10_xterm_man_page_1280x1024.png"), Rect{0, 0, 640, 300});

  std::vector<uint8_t> corrupt = events.back().second;
  for (size_t i = 100; i < corrupt.size(); i += 7) corrupt[i] ^= 0x5A;
  events.push_back({ZKP_DISPLAYUPDATE, corrupt});
  std::vector<uint8_t> stale = events[events.size() - 2].second;
  StoreU32LE(stale.data(), kToken - 1);
  events.push_back({ZKP_DISPLAYUPDATE, stale});
  return events;
}

class ViewerModelParityTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteFileA("ZK.ini"); }
  void TearDown() override { TestSession().Release(); }
};

}  // namespace

TEST_F(ViewerModelParityTest, TheModelHoldsTheWin32ViewersPictureByteForByte) {
  const std::vector<Received> events = CorpusStream();
  ASSERT_TRUE(TestSession().Init(GetModuleHandleA(nullptr), nullptr));
  for (const Received& e : events) PostPayload(e.first, e.second);
  // The worker holds the queue's lock for a whole dispatch pass: once the
  // queue reads empty, every event has been applied.
  ASSERT_TRUE(PumpUntil([] { return EventMgrTestPeer::IncomingCount(TestSession()) == 0; }, 60000));

  ViewerModel model;
  std::vector<ViewerEventResult> results;
  for (const Received& e : events)
    results.push_back(model.Receive(e.first, e.second.data(), static_cast<uint32_t>(e.second.size())));
  // Everything applies but the corrupt update and the stale one after it.
  ASSERT_EQ(std::count(results.begin(), results.end(), ViewerEventResult::APPLIED),
            static_cast<std::ptrdiff_t>(results.size() - 2));
  EXPECT_EQ(results[results.size() - 2], ViewerEventResult::REFUSED);
  EXPECT_EQ(results.back(), ViewerEventResult::IGNORED);

  const FrameFormat& format = TestSession().GetFrameFormat();
  const PictureView view = model.Picture();
  ASSERT_EQ(view.width, format.Width());
  ASSERT_EQ(view.height, format.Height());
  ASSERT_EQ(view.width, 1280);
  const uint8_t* frame = TestSession().GetFrameBuffer();
  size_t differing = 0;
  for (size_t i = 0; i < format.ImageSize(); i += 3)
    differing += frame[i] != view.pixels[i] || frame[i + 1] != view.pixels[i + 1] ||
                 frame[i + 2] != view.pixels[i + 2];
  EXPECT_EQ(differing, 0u) << "pixels differ of " << format.PixelCount();
}
