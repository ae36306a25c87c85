#include "EventRouting.h"

#include "events/ControlTokenMessages.h"
#include "events/ProtocolMessages.h"

namespace {
// Keeps the size of every display format a container carries.
class FrameSizeFinder final : public ContainerRecordSink {
 public:
  bool OnRecord(uint32_t type, uint32_t size, const uint8_t* payload) override {
    found |= type == ZKP_DISPLAYFORMAT && ParseMessage(payload, size, &format);
    return true;
  }
  DisplayFormatMessage format = {};
  bool found = false;
};
}  // namespace

bool FindFrameSize(uint32_t type, const uint8_t* payload, uint32_t size, uint16_t* width,
                   uint16_t* height) {
  FrameSizeFinder finder;
  if (type == ZKP_FULLUPDATE) {
    WalkFullUpdateContainer(payload, size, finder);
  } else {
    finder.OnRecord(type, size, payload);
  }
  if (!finder.found) return false;
  *width = finder.format.width;
  *height = finder.format.height;
  return true;
}

namespace {
// The token an input event was sent under; 0 when its payload is unreadable.
uint32_t InputToken(uint32_t type, const uint8_t* payload, uint32_t size) {
  MouseMessage mouse;
  KeyboardMessage key;
  if (type == ZKP_MOUSEUPDATE) return ParseMessage(payload, size, &mouse) ? mouse.token : 0;
  return ParseMessage(payload, size, &key) ? key.token : 0;
}
}  // namespace

ViewerEventRoute RouteViewerEvent(uint32_t type, const uint8_t* payload, uint32_t size,
                                  uint32_t heldToken) {
  switch (type) {
    case ZKP_MOUSEUPDATE:
    case ZKP_KEYBOARDUPDATE:
      return heldToken != 0 && InputToken(type, payload, size) == heldToken
                 ? ViewerEventRoute::kToLibrary
                 : ViewerEventRoute::kRefused;
    case ZKP_ANNOTATION:
    case ZKP_ENDANNOTATION:
    case ZKP_ANNOTATIONMODE:
      return ViewerEventRoute::kToAnnotation;
    case ZKH_REQUESTCONTROL:
    case ZKH_RELEASECONTROL:
      return ViewerEventRoute::kToTokenService;
    default:
      return ViewerEventRoute::kDropped;
  }
}
