#include "EventRouting.h"

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

bool IsViewerEvent(uint32_t type) {
  return type == ZKP_MOUSEUPDATE || type == ZKP_KEYBOARDUPDATE || type == ZKP_ANNOTATION ||
         type == ZKP_ENDANNOTATION || type == ZKP_ANNOTATIONMODE;
}

bool IsRelayedViewerEvent(uint32_t type) {
  return type == ZKP_ANNOTATION || type == ZKP_ENDANNOTATION || type == ZKP_ANNOTATIONMODE;
}
