#pragma once

#include <atomic>
#include <cstdint>

// What becomes of a window-event record (ZKP_WINDOWEVENT) on its way to the
// Java host: the window message it reports is printed as a line on standard
// output and replaced by an event code the host understands, some records go
// through unchanged, and records of messages the host has no code for are
// dropped. A minimise is remembered so that the next plain resize reads as a
// restore.
//
// A record is read as far as it goes: fields past its end count as 0, and
// only its own bytes are rewritten. Portable; one decoder for the module,
// used by whichever Java thread takes events.
class WindowEventDecoder {
 public:
  // Codes written over the message number.
  enum Code : uint32_t {
    ACTIVATED_BY_CLICK = 0,
    CLOSED = 1,
    CLOSING = 2,
    RESTORED = 4,
    MINIMISED = 5,
    OPENED = 6,
    HIDDEN = 7,
    MOVED = 8,
    RESIZED = 9,
    SHOWN = 10,
  };

  // Prints the record's line and writes its code in place. False when the
  // record is to be dropped.
  bool Decode(uint8_t* payload, uint32_t size);

 private:
  struct Verdict;
  Verdict Judge(uint32_t message, uint32_t wParam, int32_t x, int32_t y);
  Verdict JudgeSize(uint32_t sizeType);

  std::atomic<bool> minimised_{false};
};
