#pragma once

#include <cstdint>

// The few payload fields a host reads to route and size things; the library
// interprets everything else. Event types and layouts are those the library
// produces: display format (0), display update (1), full-update container
// (2) and palette (12). Every reader checks lengths first, since payloads may
// come from the network. Portable; no state.

constexpr uint32_t kEventDisplayFormat = 0;
constexpr uint32_t kEventDisplayUpdate = 1;
constexpr uint32_t kEventFullUpdate = 2;
constexpr uint32_t kEventMouseUpdate = 3;
constexpr uint32_t kEventKeyboardUpdate = 4;
constexpr uint32_t kEventAnnotation = 6;
constexpr uint32_t kEventEndAnnotation = 7;
constexpr uint32_t kEventMousePosition = 10;
constexpr uint32_t kEventAnnotationMode = 11;
constexpr uint32_t kEventPalette = 12;

// The request tag that a full-update container answers.
bool ReadContainerTag(const uint8_t* payload, uint32_t size, uint32_t* tag);

// The frame size announced by a display format, on its own or as a record of
// a full-update container (containers may nest). The last one announced wins.
bool FindFrameSize(uint32_t type, const uint8_t* payload, uint32_t size, uint16_t* width,
                   uint16_t* height);

// Width times height of the rectangle a display update carries; 0 when the
// payload is too short to say.
uint32_t DisplayUpdatePixels(const uint8_t* payload, uint32_t size);

// Events that a viewer's library produces (input and annotations): the only
// ones a presenter's host accepts from a viewer.
bool IsViewerEvent(uint32_t type);
