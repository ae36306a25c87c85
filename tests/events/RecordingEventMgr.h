#pragma once

#include <cstdint>
#include <vector>

#include "events/EventMgr.h"

// An EventMgr whose handlers record what they were given: the slot that ran,
// the type it stands for, and a copy of the payload bytes.
class RecordingEventMgr : public EventMgr {
 public:
  struct Call {
    int slot;
    uint32_t size;
    std::vector<uint8_t> bytes;
  };
  std::vector<Call> calls;

  void OnDisplayFormat(const uint8_t* p, uint32_t n) override { Record(1, p, n); }
  void OnDisplayUpdate(const uint8_t* p, uint32_t n) override { Record(2, p, n); }
  void OnMouseUpdate(const uint8_t* p, uint32_t n) override { Record(3, p, n); }
  void OnMousePosition(const uint8_t* p, uint32_t n) override { Record(4, p, n); }
  void OnKeyboardUpdate(const uint8_t* p, uint32_t n) override { Record(5, p, n); }
  void OnAnnotation(const Event& e) override { Record(6, e.payload, e.size); }
  void OnAnnotationMode(const uint8_t* p, uint32_t n) override { Record(7, p, n); }
  void OnPalette(const uint8_t* p, uint32_t n) override { Record(8, p, n); }

 private:
  void Record(int slot, const uint8_t* p, uint32_t n) {
    calls.push_back(Call{slot, n, p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>()});
  }
};
