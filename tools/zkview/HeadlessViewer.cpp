#include "HeadlessViewer.h"

#include <algorithm>

namespace {
using Clock = std::chrono::steady_clock;
// One read's worth: a hundred viewers on one machine hold this each.
constexpr size_t kReceiveChunk = 64 * 1024;
// The longest single wait: a deadline far off is waited for in steps, each
// of which costs one wake-up.
constexpr int kLongestWaitMs = 60 * 1000;

int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count(), 0, kLongestWaitMs));
}
}  // namespace

ViewEnd HeadlessViewer::Run(Clock::time_point deadline) {
  buffer_.resize(kReceiveChunk);
  std::vector<ReceivedEvent> events;
  for (;;) {
    const int received = ReceiveBefore(deadline);
    if (received == kTimeUp) return {true, "time is up"};
    if (received < 0) return {false, "connection lost"};
    if (received == 0) {
      if (reader_.AtFrameBoundary()) return {true, "the presenter closed the connection"};
      return {false, "the stream ended inside an event"};
    }
    figures_.bytesReceived += static_cast<uint64_t>(received);
    events.clear();
    const bool wellFormed = reader_.Feed(buffer_.data(), static_cast<size_t>(received), &events);
    std::string reason;
    for (const ReceivedEvent& event : events)
      if (!Apply(event, &reason)) return {false, reason};
    if (!wellFormed) return {false, "malformed stream: " + reader_.Error()};
  }
}

int HeadlessViewer::ReceiveBefore(Clock::time_point deadline) {
  for (;;) {
    // Looked at first: a presenter that never stops sending must not keep
    // this viewer past its time.
    if (Clock::now() >= deadline) return kTimeUp;
    const int received = stream_.TryReceive(buffer_.data(), buffer_.size());
    if (received != ByteStream::kWouldBlock) return received >= 0 ? received : -1;
    stream_.WaitReadable(MillisecondsUntil(deadline));
  }
}

bool HeadlessViewer::Apply(const ReceivedEvent& event, std::string* reason) {
  ++figures_.events;
  const uint32_t size = static_cast<uint32_t>(event.payload.size());
  const ViewerEventResult result = model_.Receive(event.type, event.payload.data(), size);
  if (result == ViewerEventResult::REFUSED) {
    *reason = "refused a malformed event of type " + std::to_string(event.type) + " (" +
              std::to_string(size) + " bytes)";
    return false;
  }
  if (result != ViewerEventResult::APPLIED) return true;
  ++figures_.applied;
  if (event.type == ZKP_DISPLAYUPDATE) ++figures_.displayUpdates;
  if (event.type == ZKP_FULLUPDATE) ++figures_.fullUpdates;
  // Nothing paints: the changes are taken only so that they do not pile up.
  model_.TakeChanges();
  return true;
}
