#include "ViewerLink.h"

#include "PeerLimits.h"
#include "RateBound.h"

namespace {
// A viewer sends small events; a chunk holds many of them.
constexpr int kReceiveChunk = 16 * 1024;
}  // namespace

ViewerLink::ViewerLink(std::unique_ptr<ByteStream> stream, uint32_t id, std::string name,
                       std::string address, size_t backlogBound, EventSink sink)
    : stream_(std::move(stream)),
      id_(id),
      name_(std::move(name)),
      address_(std::move(address)),
      backlogBound_(backlogBound),
      sink_(std::move(sink)) {}

ViewerLink::~ViewerLink() { Close(); }

void ViewerLink::Start() {
  sender_ = std::thread(&ViewerLink::SendLoop, this);
  receiver_ = std::thread(&ViewerLink::ReceiveLoop, this);
}

void ViewerLink::AwaitFullUpdate(uint32_t tag) {
  std::lock_guard<std::mutex> lock(mutex_);
  DropBacklog();
  awaitedTag_ = tag;
}

bool ViewerLink::OfferContainer(uint32_t tag, const WireFrame& frame) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (awaitedTag_ == 0 || awaitedTag_ != tag) return false;
  awaitedTag_ = 0;
  backlog_.push_back(frame);
  backlogBytes_ += frame->size();
  wake_.notify_one();
  return true;
}

ViewerLink::Offer ViewerLink::OfferEvent(const WireFrame& frame) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (awaitedTag_ != 0) return Offer::kHeldBack;
  if (backlogBytes_ + answerBytes_ + frame->size() > backlogBound_) {
    DropBacklog();
    return Offer::kOverflow;
  }
  backlog_.push_back(frame);
  backlogBytes_ += frame->size();
  wake_.notify_one();
  return Offer::kQueued;
}

void ViewerLink::Answer(const WireFrame& frame) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (answerBytes_ + frame->size() > kMaxAnswerBytes)
    return FailLocked("the viewer does not read its answers");
  answers_.push_back(frame);
  answerBytes_ += frame->size();
  wake_.notify_one();
}

void ViewerLink::DropBacklog() {
  backlog_.clear();
  backlogBytes_ = 0;
}

void ViewerLink::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    FailLocked("closed by the presenter");
  }
  if (sender_.joinable()) sender_.join();
  if (receiver_.joinable()) receiver_.join();
  if (stream_) stream_->Close();
}

std::string ViewerLink::CloseReason() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closeReason_;
}

void ViewerLink::Fail(const std::string& reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  FailLocked(reason);
}

void ViewerLink::FailLocked(const std::string& reason) {
  if (closeReason_.empty()) closeReason_ = reason;
  closed_ = true;
  if (stream_) stream_->Interrupt();  // the receiver, waiting for bytes
  wake_.notify_all();
}

void ViewerLink::SendLoop() {
  for (;;) {
    WireFrame frame;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return closed_ || !backlog_.empty() || !answers_.empty(); });
      if (closed_) return;
      if (!answers_.empty()) {
        frame = std::move(answers_.front());
        answers_.pop_front();
        answerBytes_ -= frame->size();
      } else {
        // A frame leaves the backlog whole: dropping the backlog never cuts a
        // frame that is half sent.
        frame = std::move(backlog_.front());
        backlog_.pop_front();
        backlogBytes_ -= frame->size();
      }
    }
    if (!stream_->SendAll(frame->data(), frame->size(), closed_)) {
      Fail("the viewer stopped receiving");
      return;
    }
    bytesSent_ += frame->size();
  }
}

void ViewerLink::ReceiveLoop() {
  FrameReader reader(kMaxViewerFramePayload);
  RateBound rate(kViewerEventsPerSecond, kViewerEventBurst);
  std::vector<uint8_t> buffer(kReceiveChunk);
  std::vector<ReceivedEvent> events;
  for (;;) {
    int received = stream_->Receive(buffer.data(), kReceiveChunk, closed_);
    if (received < 0) return Fail("connection lost");
    if (received == 0)
      return Fail(reader.AtFrameBoundary() ? "closed by the viewer" : "truncated frame");
    events.clear();
    bool wellFormed = reader.Feed(buffer.data(), static_cast<size_t>(received), &events);
    for (const ReceivedEvent& event : events) {
      if (!rate.Take()) return Fail("sent events faster than any person makes them");
      sink_(*this, event.type, event.payload);
    }
    if (!wellFormed) return Fail(reader.Error());
  }
}
