#pragma once

#include <cstdint>

// What a host reads of the events it carries, beyond their type: the frame
// size that a viewer's window takes, and what a presenter does with an event
// from a viewer. Payloads are read with the library's protocol code and
// may come from the network. Portable; no state.

// The frame size announced by a display format, on its own or as a record of
// a full-update container (containers may nest). The last one announced wins.
bool FindFrameSize(uint32_t type, const uint8_t* payload, uint32_t size, uint16_t* width,
                   uint16_t* height);

enum class ViewerEventRoute {
  kToLibrary,       // posted into the presenter's library
  kToAnnotation,    // marks, their end and the mode switch: the annotation gate decides
  kToTokenService,  // a request for control or its release
  kRefused,         // input from a viewer without control: dropped, and it is told so
  kDropped,         // nothing a viewer may send
};

// A viewer's library produces input and annotations; its host asks for and
// gives back control. Input goes on only from the viewer that holds control
// (`heldToken`, 0 for a viewer that does not) and only under the token it
// was granted, so that no viewer can raise the presenter's token above what
// the service hands out next.
ViewerEventRoute RouteViewerEvent(uint32_t type, const uint8_t* payload, uint32_t size,
                                  uint32_t heldToken);
