// Records what a presenter sends a viewer, built from the screen corpus
// with the real compressor, as the link carries it (framed events back to
// back), together with what the native viewer model makes of it: each
// event's result and the final picture. The browser viewer's module must
// make the same of the same bytes (model.test.mjs).
//
//   zk_web_streams CORPUS_DIR OUT_DIR
//
// writes OUT_DIR/NAME.link and OUT_DIR/NAME.expected for each stream:
// .expected holds the event count (u32), one result byte per event
// (ViewerEventResult), the picture's width and height (i32) and its bytes
// as PictureView gives them. All numbers little-endian.
#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "EventFraming.h"
#include "PictureFile.h"
#include "common/ByteOrder.h"
#include "events/ContainerBuilder.h"
#include "frames/ViewerModel.h"
#include "frames/ViewerStreams.h"

namespace {

constexpr uint32_t kToken = 7;

using Received = std::pair<uint32_t, std::vector<uint8_t>>;

std::string corpusDir;

Picture Corpus(const std::string& file) {
  Picture picture;
  std::string error;
  if (!ReadPictureFile(corpusDir + "/" + file, picture, error)) {
    std::fprintf(stderr, "zk_web_streams: %s\n", error.c_str());
    std::exit(1);
  }
  return picture;
}

// What a presenter sends: it keeps the reference (what viewers were sent)
// and compresses rectangles of new pictures against it.
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

// A session's worth of change: a full-update container to start from, typing
// in an editor, odd rectangles, a change of format with the overlap kept,
// 8-bit mode with a palette recolouring what is held, a pointer and marks,
// and a corrupt and a stale update that both viewers must pass over.
std::vector<Received> MixedStream() {
  std::vector<Received> events, records;
  Presenter presenter(&records);
  presenter.Stages(false);
  presenter.Format(1920, 1080);
  presenter.Whole(Corpus("seq_typing_notepad_1920x1080/frame_00.png"));
  ContainerBuilder container(1);
  for (const Received& r : records) container.Record(r.first, r.second);
  events.push_back({ZKP_FULLUPDATE, container.Build()});

  presenter.Into(&events);
  for (int frame = 1; frame < 10; ++frame)
    presenter.Changes(Corpus("seq_typing_notepad_1920x1080/frame_0" + std::to_string(frame) + ".png"));
  events.push_back({ZKP_MOUSEPOSITION, BytesOf(MouseMessage{kToken, 0x200, 0, PackedPoint{300, 200}})});
  const Picture mixed = Corpus("s09_mixed_desktop_1920x1080.png");
  presenter.Part(mixed, Rect{101, 33, 101 + 259, 33 + 171});  // width rounds down to 256
  presenter.Format(1283, 1024);                                // keeps the top-left 1280 x 1024
  events.push_back({ZKP_ANNOTATION, BytesOf(AnnotationMessage{kAnnotationHighlight, 0, 100, 100,
                                                              200, 150, 0})});
  events.push_back({ZKP_ANNOTATION, BytesOf(AnnotationMessage{kAnnotationMarker, 0, 400, 300, 450,
                                                              350, 0x0000FF})});
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

// Scrolling a manual page: most of the frame changes every time.
std::vector<Received> ScrollStream() {
  std::vector<Received> events;
  Presenter presenter(&events);
  presenter.Stages(false);
  presenter.Format(1920, 1080);
  presenter.Whole(Corpus("seq_scroll_man_1920x1080/frame_00.png"));
  for (int frame = 1; frame < 10; ++frame)
    presenter.Changes(Corpus("seq_scroll_man_1920x1080/frame_0" + std::to_string(frame) + ".png"));
  return events;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

void AppendU32(std::vector<uint8_t>* out, uint32_t value) {
  uint8_t bytes[4];
  StoreU32LE(bytes, value);
  out->insert(out->end(), bytes, bytes + 4);
}

bool Record(const std::string& dir, const std::string& name, const std::vector<Received>& events) {
  std::vector<uint8_t> link, expected;
  ViewerModel model;
  AppendU32(&expected, static_cast<uint32_t>(events.size()));
  for (const Received& e : events) {
    WireFrame frame = MakeWireFrame(e.first, static_cast<uint32_t>(e.second.size()), e.second.data());
    link.insert(link.end(), frame->begin(), frame->end());
    expected.push_back(static_cast<uint8_t>(
        model.Receive(e.first, e.second.data(), static_cast<uint32_t>(e.second.size()))));
  }
  const PictureView view = model.Picture();
  AppendU32(&expected, static_cast<uint32_t>(view.width));
  AppendU32(&expected, static_cast<uint32_t>(view.height));
  expected.insert(expected.end(), view.pixels, view.pixels + size_t{3} * view.width * view.height);
  return WriteFile(dir + "/" + name + ".link", link) &&
         WriteFile(dir + "/" + name + ".expected", expected);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zk_web_streams CORPUS_DIR OUT_DIR\n");
    return 2;
  }
  corpusDir = argv[1];
  const std::string out = argv[2];
  if (!Record(out, "mixed", MixedStream()) || !Record(out, "scroll", ScrollStream())) {
    std::fprintf(stderr, "zk_web_streams: cannot write to %s\n", out.c_str());
    return 1;
  }
  return 0;
}
