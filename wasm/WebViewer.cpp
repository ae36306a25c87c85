#include "WebViewer.h"

#include <algorithm>

uint8_t* WebViewer::InputBuffer(size_t size) {
  input_.resize(size);
  return input_.data();
}

bool WebViewer::Feed(size_t size) {
  if (nextCompleted_ == completed_.size()) {
    completed_.clear();
    nextCompleted_ = 0;
  }
  size = std::min(size, input_.size());
  const long taken = joining_ ? FeedJoin(input_.data(), size) : 0;
  if (taken < 0) return false;
  return reader_.Feed(input_.data() + taken, size - static_cast<size_t>(taken), &completed_);
}

long WebViewer::FeedJoin(const uint8_t* data, size_t length) {
  size_t taken = 0;
  while (joining_ && taken < length) {
    if (!joinReader_.Feed(data + taken++, 1, &completed_)) return -1;
    if (!completed_.empty() &&
        (completed_.back().type == ZKH_WELCOME || completed_.back().type == ZKH_REFUSED))
      joining_ = false;
  }
  return static_cast<long>(taken);
}

bool WebViewer::Next() {
  if (nextCompleted_ == completed_.size()) return false;
  current_ = std::move(completed_[nextCompleted_++]);
  return true;
}

ViewerEventResult WebViewer::ApplyCurrent() {
  return model_.Receive(current_.type, current_.payload.data(),
                        static_cast<uint32_t>(current_.payload.size()));
}

const uint8_t* WebViewer::Rgba(int32_t left, int32_t top, int32_t width, int32_t height) {
  const PictureView view = model_.Picture();
  if (!view.pixels || left < 0 || top < 0 || width <= 0 || height <= 0 ||
      left + width > view.width || top + height > view.height)
    return nullptr;
  rgba_.resize(static_cast<size_t>(width) * height * 4);
  uint8_t* out = rgba_.data();
  for (int32_t y = top; y < top + height; ++y) {
    // Rows are stored bottom-up, three bytes per pixel, blue first.
    const uint8_t* in =
        view.pixels + (static_cast<size_t>(view.height - 1 - y) * view.width + left) * 3;
    for (int32_t x = 0; x < width; ++x, in += 3, out += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = 255;
    }
  }
  return rgba_.data();
}

uint32_t WebViewer::TakeChanges() {
  const ViewerChanges changes = model_.TakeChanges();
  rects_.clear();
  for (const Rect& r : changes.picture) rects_.insert(rects_.end(), {r.left, r.top, r.right, r.bottom});
  uint32_t bits = 0;
  if (changes.pointer) bits |= kChangedPointer;
  if (changes.marks) bits |= kChangedMarks;
  if (changes.annotationMode) bits |= kChangedAnnotationMode;
  if (model_.IsInputControlCancelled()) {
    bits |= kInputControlCancelled;
    model_.ClearInputControlCancelled();
  }
  return bits;
}

const std::vector<int32_t>& WebViewer::MarkFields() {
  marks_.clear();
  for (const ViewerMark& m : model_.Marks())
    marks_.insert(marks_.end(), {m.kind, m.rect.left, m.rect.top, m.rect.right, m.rect.bottom,
                                 static_cast<int32_t>(m.colour)});
  return marks_;
}
