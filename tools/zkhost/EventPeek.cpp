#include "EventPeek.h"

namespace {
constexpr uint32_t kContainerHeader = 8;  // request tag, record-byte count
constexpr uint32_t kRecordHeader = 8;     // type, size
constexpr uint32_t kDisplayFormatSize = 8;
constexpr uint32_t kDisplayUpdateFields = 17;  // token .. stream length
constexpr int kMaxNesting = 4;

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

bool FindIn(uint32_t type, const uint8_t* payload, uint32_t size, uint16_t* width,
            uint16_t* height, int depth) {
  if (type == kEventDisplayFormat) {
    if (size < kDisplayFormatSize) return false;
    *width = U16(payload + 4);
    *height = U16(payload + 6);
    return true;
  }
  if (type != kEventFullUpdate || size < kContainerHeader || depth >= kMaxNesting) return false;
  // Records must lie inside both the announced record bytes and the payload.
  uint32_t end = U32(payload + 4);
  if (end > size - kContainerHeader) end = size - kContainerHeader;
  const uint8_t* records = payload + kContainerHeader;
  bool found = false;
  for (uint32_t offset = 0; end - offset >= kRecordHeader;) {
    uint32_t recordType = U32(records + offset), recordSize = U32(records + offset + 4);
    if (recordSize > end - offset - kRecordHeader) break;
    found |= FindIn(recordType, records + offset + kRecordHeader, recordSize, width, height,
                    depth + 1);
    offset += kRecordHeader + recordSize;
  }
  return found;
}
}  // namespace

bool ReadContainerTag(const uint8_t* payload, uint32_t size, uint32_t* tag) {
  if (size < kContainerHeader) return false;
  *tag = U32(payload);
  return true;
}

bool FindFrameSize(uint32_t type, const uint8_t* payload, uint32_t size, uint16_t* width,
                   uint16_t* height) {
  return FindIn(type, payload, size, width, height, 0);
}

uint32_t DisplayUpdatePixels(const uint8_t* payload, uint32_t size) {
  if (size < kDisplayUpdateFields) return 0;
  return static_cast<uint32_t>(U16(payload + 9)) * U16(payload + 11);
}

bool IsViewerEvent(uint32_t type) {
  return type == kEventMouseUpdate || type == kEventKeyboardUpdate || type == kEventAnnotation ||
         type == kEventEndAnnotation || type == kEventAnnotationMode;
}
