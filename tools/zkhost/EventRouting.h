#pragma once

#include <cstdint>

// What a host reads of the events it carries, beyond their type: the frame
// size that a viewer's window takes, and which events a presenter accepts
// from its viewers. Payloads are read with the library's protocol code and
// may come from the network. Portable; no state.

// The frame size announced by a display format, on its own or as a record of
// a full-update container (containers may nest). The last one announced wins.
bool FindFrameSize(uint32_t type, const uint8_t* payload, uint32_t size, uint16_t* width,
                   uint16_t* height);

// Events that a viewer's library produces (input and annotations): the only
// ones a presenter's host accepts from a viewer.
bool IsViewerEvent(uint32_t type);

// Viewer events that a presenter's host passes on to the other viewers:
// annotations, their end and the mode switch. Viewers talk only to the
// presenter, and the presenter's library sends no received mark again.
bool IsRelayedViewerEvent(uint32_t type);
