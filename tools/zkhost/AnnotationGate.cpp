#include "AnnotationGate.h"

#include "PeerLimits.h"
#include "events/AnnotationMessages.h"

namespace {
bool IsMark(const AnnotationMessage& message) {
  return (message.kind == kAnnotationHighlight || message.kind == kAnnotationMarker) &&
         message.flag == 0;
}

bool IsClearAll(const AnnotationMessage& message) {
  return message.kind == kAnnotationClearAll && message.flag == 1;
}
}  // namespace

AnnotationGate::Verdict AnnotationGate::FromViewer(uint32_t viewer, uint32_t type,
                                                   const uint8_t* payload, uint32_t size) {
  if (!allowed_) return Verdict::kRefused;
  switch (type) {
    case ZKP_ANNOTATION:
      return MarkFromViewer(viewer, payload, size);
    case ZKP_ENDANNOTATION:
      return size == kEndAnnotationSize ? Verdict::kToEveryone : Verdict::kRefused;
    case ZKP_ANNOTATIONMODE: {
      // The presenter's library takes the request and sends the change on
      // under its own token: a viewer's message itself never reaches the
      // others, which would take it from anyone who copies that token.
      AnnotationModeMessage mode;
      if (size != kAnnotationModeSize || !ParseMessage(payload, size, &mode))
        return Verdict::kRefused;
      if (mode.on) modeOn_ = true;  // marks may follow before the library's answer
      return Verdict::kToPresenter;
    }
    default:
      return Verdict::kRefused;
  }
}

AnnotationGate::Verdict AnnotationGate::MarkFromViewer(uint32_t viewer, const uint8_t* payload,
                                                       uint32_t size) {
  AnnotationMessage message;
  if (size != kAnnotationSize || !ParseMessage(payload, size, &message)) return Verdict::kRefused;
  if (IsClearAll(message)) {
    ClearMarks();
    return Verdict::kToEveryone;
  }
  if (!IsMark(message) || !modeOn_) return Verdict::kRefused;
  size_t& own = marksBy_[viewer];
  if (marks_ >= kMaxSessionMarks || own >= kMaxMarksPerViewer) return Verdict::kRefused;
  ++marks_, ++own;
  return Verdict::kToEveryone;
}

void AnnotationGate::FromPresenter(uint32_t type, const uint8_t* payload, uint32_t size) {
  if (type == ZKP_ANNOTATIONMODE) {
    AnnotationModeMessage mode;
    if (!ParseMessage(payload, size, &mode)) return;
    modeOn_ = mode.on != 0;
    if (!modeOn_) ClearMarks();  // leaving the mode clears every mark
    return;
  }
  AnnotationMessage message;
  if (type != ZKP_ANNOTATION || !ParseMessage(payload, size, &message)) return;
  if (IsClearAll(message)) ClearMarks();
  if (IsMark(message)) ++marks_;
}

void AnnotationGate::ClearMarks() {
  marks_ = 0;
  marksBy_.clear();
}
