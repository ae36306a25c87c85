#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "EventFraming.h"
#include "events/JoinMessages.h"
#include "frames/ViewerModel.h"

// WebViewer is what the browser viewer keeps in its WebAssembly module: the
// link's frame reader over the bytes the page receives, the viewer model
// fed with the events it completes, and the buffers through which the page
// reads and writes without copying pixel by pixel. The page walks the
// completed events one at a time (Next), so that the join exchange, the
// token service's answers and the model's events are told apart by the
// same framing that zkhost's viewer uses. Until the presenter welcomes or
// refuses this viewer, a frame longer than any of the join exchange breaks
// the stream, as it does for zkhost's viewer; the bytes after that answer
// are the link's.
//
// Owned by the page's worker through ViewerExports; one thread.
class WebViewer {
 public:
  // Room for `size` received bytes; valid until the next call.
  uint8_t* InputBuffer(size_t size);
  // Frames the bytes written to InputBuffer; false once the stream is
  // malformed (FramingError says why).
  bool Feed(size_t size);
  const std::string& FramingError() const { return Reader().Error(); }
  bool AtFrameBoundary() const { return Reader().AtFrameBoundary(); }
  // For a stream that starts after the join (recorded streams, benchmarks).
  void SkipJoin() { joining_ = false; }

  // Makes the next completed event current; false when none is left.
  bool Next();
  const ReceivedEvent& Current() const { return current_; }
  ViewerEventResult ApplyCurrent();

  // A whole frame to send, built by the protocol's writers; valid until the
  // next frame is built.
  template <typename Message>
  const std::vector<uint8_t>& BuildFrame(uint32_t type, const Message& message) {
    WireFrame frame = MakeMessageFrame(type, message);
    out_.assign(frame->begin(), frame->end());
    return out_;
  }
  const std::vector<uint8_t>& Out() const { return out_; }

  ViewerModel& Model() { return model_; }
  // Top-down RGBA rows of a rectangle of the picture, for the page's
  // ImageData; null when the rectangle is not inside the picture.
  const uint8_t* Rgba(int32_t left, int32_t top, int32_t width, int32_t height);
  // Takes the model's changes: the picture's rectangles go to Rects() as
  // left, top, right, bottom; the result's bits say what else changed.
  uint32_t TakeChanges();
  const std::vector<int32_t>& Rects() const { return rects_; }
  // Marks as kind, left, top, right, bottom, colour.
  const std::vector<int32_t>& MarkFields();

 private:
  // The longest frame of the join exchange: a join with the longest name.
  static constexpr uint32_t kLongestJoinFrame = kJoinOverhead + kMaxViewerNameSize;

  const FrameReader& Reader() const { return joining_ ? joinReader_ : reader_; }
  // Takes bytes one at a time until the join's answer is complete; returns
  // how many it took, or -1 once the stream is malformed.
  long FeedJoin(const uint8_t* data, size_t length);

  bool joining_ = true;
  FrameReader joinReader_{kLongestJoinFrame};
  FrameReader reader_;
  std::vector<uint8_t> input_;
  std::vector<ReceivedEvent> completed_;
  size_t nextCompleted_ = 0;
  ReceivedEvent current_;
  ViewerModel model_;
  std::vector<uint8_t> out_;
  std::vector<uint8_t> rgba_;
  std::vector<int32_t> rects_;
  std::vector<int32_t> marks_;
};

// Bits of WebViewer::TakeChanges.
constexpr uint32_t kChangedPointer = 1;
constexpr uint32_t kChangedMarks = 2;
constexpr uint32_t kChangedAnnotationMode = 4;
constexpr uint32_t kInputControlCancelled = 8;
