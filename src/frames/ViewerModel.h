#pragma once

#include <cstdint>
#include <vector>

#include "events/ProtocolMessages.h"
#include "frames/Rect.h"
#include "frames/RectList.h"
#include "frames/ViewerMarks.h"
#include "frames/ViewerPicture.h"

enum class ViewerEventResult {
  APPLIED,  // the event changed, or could have changed, what the model holds
  IGNORED,  // well formed but not for a viewer, or under a stale capture token
  REFUSED,  // malformed, oversized or undecodable: nothing changed by it
};

// What changed since the caller last asked (TakeChanges).
struct ViewerChanges {
  // Rectangles of the picture (top-down coordinates) to repaint; they do not
  // overlap.
  std::vector<Rect> picture;
  bool pointer = false;
  bool marks = false;
  bool annotationMode = false;
  bool inputControlCancelled = false;
};

// ViewerModel follows a session as a viewer sees it, without a window: it
// takes received events (a ZKP_* type and its payload, as a host posts them
// to the library, full-update containers included) and keeps the picture,
// the presenter's pointer, the annotation marks and mode, and whether input
// control was cancelled. It applies the Win32 viewer's rules: the highest
// capture token seen wins, display messages under a lower one are ignored,
// and every payload is checked before it is used.
//
// Owned by its caller (a headless or browser viewer, a test). One thread at a
// time; see ViewerPicture for the process-wide palette table.
class ViewerModel {
 public:
  // payload may be null only when size is 0.
  ViewerEventResult Receive(uint32_t type, const uint8_t* payload, uint32_t size);

  PictureView Picture() const { return picture_.View(); }
  // The presenter's pointer, in picture coordinates; false before any.
  bool GetPointer(int32_t* x, int32_t* y) const;
  const std::vector<ViewerMark>& Marks() const { return marks_.Get(); }
  bool IsAnnotationModeOn() const { return annotationMode_; }
  // Set by a cancel message, cleared by the caller once acted on.
  bool IsInputControlCancelled() const { return inputControlCancelled_; }
  void ClearInputControlCancelled() { inputControlCancelled_ = false; }
  uint32_t GetCaptureToken() const { return captureToken_; }

  ViewerChanges TakeChanges();

 private:
  friend class ViewerModelContainerSink;
  ViewerEventResult ReceiveOne(uint32_t type, const uint8_t* payload, uint32_t size);
  ViewerEventResult ReceiveContainer(const uint8_t* payload, uint32_t size);
  ViewerEventResult OnDisplayFormat(const DisplayFormatMessage& format);
  ViewerEventResult OnDisplayUpdate(const DisplayUpdateMessage& update);
  ViewerEventResult OnPalette(const PaletteMessage& palette);
  ViewerEventResult OnMousePosition(const MouseMessage& position);
  ViewerEventResult OnAnnotation(const AnnotationMessage& annotation);
  ViewerEventResult OnAnnotationMode(const AnnotationModeMessage& mode);
  ViewerEventResult OnCancelInputControl(const CancelInputControlMessage& cancel);
  bool AcceptCaptureToken(uint32_t token);
  void PictureChanged(const Rect& r);

  ViewerPicture picture_;
  ViewerMarks marks_;
  uint32_t captureToken_ = 0;
  bool hasPointer_ = false;
  int32_t pointerX_ = 0, pointerY_ = 0;
  bool annotationMode_ = false;
  bool inputControlCancelled_ = false;
  RectList changedPicture_;
  ViewerChanges changes_;
};
