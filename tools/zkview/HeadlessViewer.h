#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "ByteStream.h"
#include "EventFraming.h"
#include "frames/ViewerModel.h"

struct ViewFigures {
  uint64_t events = 0;          // received, well framed
  uint64_t applied = 0;         // of them, ones the model took
  uint64_t displayUpdates = 0;  // display updates applied, outside full updates
  uint64_t fullUpdates = 0;     // full updates applied
  uint64_t bytesReceived = 0;
};

// How a session ended for this viewer.
struct ViewEnd {
  bool orderly = false;  // time up, or the presenter closed between frames
  std::string reason;
};

// HeadlessViewer follows a joined session without a window: it reads the
// stream, cuts it into events (FrameReader: every length bounded, a payload
// held only as its bytes arrive) and hands each to the ViewerModel. A
// malformed frame or an event the model refuses ends the session, as not
// orderly. The presenter serves a full update on its own when a viewer
// joins, and a viewer that never asks for control has nothing to answer, so
// nothing is sent.
//
// Owns neither the stream nor the model. One thread: reads block until data
// or the deadline, never spin.
class HeadlessViewer {
 public:
  HeadlessViewer(ByteStream& stream, ViewerModel& model) : stream_(stream), model_(model) {}

  // Until the presenter closes, the stream fails or is malformed, or
  // `deadline` passes (time_point::max(): no deadline).
  ViewEnd Run(std::chrono::steady_clock::time_point deadline);
  const ViewFigures& Figures() const { return figures_; }

 private:
  // Bytes received (> 0), 0 at the end of the stream, negative on failure,
  // or kTimeUp.
  static constexpr int kTimeUp = -1000;
  int ReceiveBefore(std::chrono::steady_clock::time_point deadline);
  bool Apply(const ReceivedEvent& event, std::string* reason);

  ByteStream& stream_;
  ViewerModel& model_;
  FrameReader reader_;
  std::vector<uint8_t> buffer_;
  ViewFigures figures_;
};
