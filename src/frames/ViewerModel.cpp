#include "frames/ViewerModel.h"

namespace {
// Beyond this many separate changed rectangles the whole picture is
// reported: a stream of small updates must not grow the list without end.
constexpr size_t kMaxChangedRects = 256;

template <typename Message>
ViewerEventResult Handle(ViewerModel* model, const uint8_t* payload, uint32_t size,
                         ViewerEventResult (ViewerModel::*handler)(const Message&)) {
  Message message;
  if (!ParseMessage(payload, size, &message)) return ViewerEventResult::REFUSED;
  return (model->*handler)(message);
}
}  // namespace

// Hands the records of a container to the model one by one, as the library
// queues them for dispatch.
class ViewerModelContainerSink : public ContainerRecordSink {
 public:
  explicit ViewerModelContainerSink(ViewerModel* model) : model_(model) {}
  bool OnRecord(uint32_t type, uint32_t size, const uint8_t* payload) override {
    model_->ReceiveOne(type, payload, size);
    return true;
  }

 private:
  ViewerModel* model_;
};

ViewerEventResult ViewerModel::Receive(uint32_t type, const uint8_t* payload, uint32_t size) {
  if (size > 0 && !payload) return ViewerEventResult::REFUSED;
  if (type == ZKP_FULLUPDATE) return ReceiveContainer(payload, size);
  return ReceiveOne(type, payload, size);
}

ViewerEventResult ViewerModel::ReceiveContainer(const uint8_t* payload, uint32_t size) {
  ViewerModelContainerSink sink(this);
  // Records before a malformed one stay applied, as the library keeps them.
  return WalkFullUpdateContainer(payload, size, sink) == ContainerWalk::COMPLETE
             ? ViewerEventResult::APPLIED
             : ViewerEventResult::REFUSED;
}

ViewerEventResult ViewerModel::ReceiveOne(uint32_t type, const uint8_t* payload, uint32_t size) {
  switch (type) {
    case ZKP_DISPLAYFORMAT: return Handle(this, payload, size, &ViewerModel::OnDisplayFormat);
    case ZKP_DISPLAYUPDATE: return Handle(this, payload, size, &ViewerModel::OnDisplayUpdate);
    case ZKP_PALETTE: return Handle(this, payload, size, &ViewerModel::OnPalette);
    case ZKP_MOUSEPOSITION: return Handle(this, payload, size, &ViewerModel::OnMousePosition);
    case ZKP_ANNOTATION: return Handle(this, payload, size, &ViewerModel::OnAnnotation);
    case ZKP_ANNOTATIONMODE: return Handle(this, payload, size, &ViewerModel::OnAnnotationMode);
    case ZKP_CANCELINPUTCONTROL:
      return Handle(this, payload, size, &ViewerModel::OnCancelInputControl);
    default: return ViewerEventResult::IGNORED;  // a viewer's library reads nothing else
  }
}

bool ViewerModel::AcceptCaptureToken(uint32_t token) {
  // Tokens come from the host's token service: the highest seen wins.
  if (token < captureToken_) return false;
  captureToken_ = token;
  return true;
}

ViewerEventResult ViewerModel::OnDisplayFormat(const DisplayFormatMessage& format) {
  if (!AcceptCaptureToken(format.token)) return ViewerEventResult::IGNORED;
  if (!picture_.ChangeFormat(format.width, format.height)) return ViewerEventResult::REFUSED;
  // A new size moves nothing a painter holds into place: repaint it all.
  changedPicture_.Clear();
  PictureChanged(picture_.Bounds());
  return ViewerEventResult::APPLIED;
}

ViewerEventResult ViewerModel::OnDisplayUpdate(const DisplayUpdateMessage& update) {
  if (!AcceptCaptureToken(update.token)) return ViewerEventResult::IGNORED;
  Rect changed;
  if (!picture_.ApplyUpdate(update, &changed)) return ViewerEventResult::REFUSED;
  PictureChanged(changed);
  return ViewerEventResult::APPLIED;
}

ViewerEventResult ViewerModel::OnPalette(const PaletteMessage& palette) {
  if (!AcceptCaptureToken(palette.token)) return ViewerEventResult::IGNORED;
  picture_.SetPalette(palette.entries);
  PictureChanged(picture_.Bounds());
  return ViewerEventResult::APPLIED;
}

ViewerEventResult ViewerModel::OnMousePosition(const MouseMessage& position) {
  // The pointer is shown whatever its token says.
  hasPointer_ = true;
  pointerX_ = position.point.x;
  pointerY_ = position.point.y;
  changes_.pointer = true;
  return ViewerEventResult::APPLIED;
}

ViewerEventResult ViewerModel::OnAnnotation(const AnnotationMessage& annotation) {
  const Rect bounds = picture_.Bounds();
  if (!marks_.Receive(annotation, bounds.Width(), bounds.Height()))
    return ViewerEventResult::REFUSED;
  changes_.marks = true;
  return ViewerEventResult::APPLIED;
}

ViewerEventResult ViewerModel::OnAnnotationMode(const AnnotationModeMessage& mode) {
  // A viewer follows only the presenter whose token it holds.
  if (mode.token != captureToken_) return ViewerEventResult::IGNORED;
  annotationMode_ = mode.on != 0;
  changes_.annotationMode = true;
  return ViewerEventResult::APPLIED;
}

ViewerEventResult ViewerModel::OnCancelInputControl(const CancelInputControlMessage&) {
  inputControlCancelled_ = true;
  changes_.inputControlCancelled = true;
  return ViewerEventResult::APPLIED;
}

void ViewerModel::PictureChanged(const Rect& r) {
  if (changedPicture_.GetCount() >= kMaxChangedRects) {
    changedPicture_.Clear();
    changedPicture_.Add(picture_.Bounds());
  }
  changedPicture_.Add(r);
}

bool ViewerModel::GetPointer(int32_t* x, int32_t* y) const {
  if (!hasPointer_) return false;
  *x = pointerX_;
  *y = pointerY_;
  return true;
}

ViewerChanges ViewerModel::TakeChanges() {
  ViewerChanges taken = changes_;
  taken.picture.assign(changedPicture_.GetRects().begin(), changedPicture_.GetRects().end());
  changedPicture_.Clear();
  changes_ = ViewerChanges{};
  return taken;
}
