#pragma once

#include <cstdint>
#include <vector>

#include "MessageBytes.h"
#include "events/EventMgr.h"

// An EventMgr whose handlers record what they were given: the slot that ran
// and the record, as the bytes its builder makes of it.
class RecordingEventMgr : public EventMgr {
 public:
  struct Call {
    int slot;
    std::vector<uint8_t> bytes;
  };
  std::vector<Call> calls;

  void OnDisplayFormat(const DisplayFormatMessage& m) override { Record(1, m); }
  void OnDisplayUpdate(const DisplayUpdateMessage& m) override { Record(2, m); }
  void OnMouseUpdate(const MouseMessage& m) override { Record(3, m); }
  void OnMousePosition(const MouseMessage& m) override { Record(4, m); }
  void OnKeyboardUpdate(const KeyboardMessage& m) override { Record(5, m); }
  void OnAnnotation(const AnnotationMessage& m) override { Record(6, m); }
  void OnAnnotationMode(const AnnotationModeMessage& m) override { Record(7, m); }
  void OnPalette(const PaletteMessage& m) override { Record(8, m); }

 private:
  template <typename Message>
  void Record(int slot, const Message& message) {
    calls.push_back(Call{slot, BytesOf(message)});
  }
};
