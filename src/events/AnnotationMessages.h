#pragma once

#include <cstdint>

#include "events/ProtocolTypes.h"

// Payloads of annotation: one element or a clear-all (ZKP_ANNOTATION), the
// end of a placement (ZKP_ENDANNOTATION) and the annotation mode switch
// (ZKP_ANNOTATIONMODE). Conventions in ProtocolTypes.h.

constexpr uint8_t kAnnotationHighlight = 0;
constexpr uint8_t kAnnotationMarker = 1;
constexpr uint8_t kAnnotationClearAll = 2;

// The rectangle is in picture coordinates. A clear-all message defines only
// kind and flag (1); a highlight's colour carries no value.
struct AnnotationMessage {
  uint8_t kind;
  uint8_t flag;  // 0 in element messages, 1 in a clear-all message
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
  uint32_t colour;  // marker colour, 0x00BBGGRR
};
constexpr uint32_t kAnnotationSize = 22;
inline uint32_t MessageSize(const AnnotationMessage&) { return kAnnotationSize; }
void WriteMessage(uint8_t* out, const AnnotationMessage& message);
// Reads kind and flag, then what the kind defines: the rectangle for
// highlights and markers, the colour for markers only. Fields a kind does
// not define come out 0, so a clear-all, or a kind the library does not
// know, needs two bytes only.
bool ParseMessage(const uint8_t* payload, uint32_t size, AnnotationMessage* out);

// One byte that receivers do not read: any payload parses.
struct EndAnnotationMessage {};
constexpr uint32_t kEndAnnotationSize = 1;
inline uint32_t MessageSize(const EndAnnotationMessage&) { return kEndAnnotationSize; }
void WriteMessage(uint8_t* out, const EndAnnotationMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, EndAnnotationMessage* out);

// The token is the sender's capture token when it presents, else 0.
struct AnnotationModeMessage {
  uint32_t token;
  uint8_t on;  // 0 off, anything else on
};
constexpr uint32_t kAnnotationModeSize = 5;
inline uint32_t MessageSize(const AnnotationModeMessage&) { return kAnnotationModeSize; }
void WriteMessage(uint8_t* out, const AnnotationModeMessage& message);
bool ParseMessage(const uint8_t* payload, uint32_t size, AnnotationModeMessage* out);
