// Feeds one received full-update container to the incoming queue and
// dispatches it: every record that comes out must lie wholly inside the input
// and reach its handler with a size the handler may trust.
#include <cstdint>
#include <cstdlib>

#include "events/Event.h"
#include "events/EventMgr.h"
#include "events/FullUpdateContainer.h"
#include "events/ProtocolMessages.h"

namespace {

// Reads every byte a handler is given, so that a wrong size shows as an
// out-of-bounds read, and checks the parsers agree with the central check.
class TouchingEventMgr : public EventMgr {
 public:
  void OnDisplayFormat(const uint8_t* p, uint32_t n) override {
    DisplayFormatMessage f;
    if (!ParseMessage(p, n, &f)) std::abort();
    Touch(p, n);
  }
  void OnDisplayUpdate(const uint8_t* p, uint32_t n) override {
    DisplayUpdateMessage u;
    if (!ParseMessage(p, n, &u)) std::abort();
    Touch(u.stream, u.streamLength);
  }
  void OnMouseUpdate(const uint8_t* p, uint32_t n) override { Touch(p, n); }
  void OnMousePosition(const uint8_t* p, uint32_t n) override { Touch(p, n); }
  void OnKeyboardUpdate(const uint8_t* p, uint32_t n) override { Touch(p, n); }
  void OnAnnotation(const Event& e) override {
    AnnotationMessage a;
    if (!ParseMessage(e.payload, e.size, &a)) std::abort();
    Touch(e.payload, e.size);
  }
  void OnAnnotationMode(const uint8_t* p, uint32_t n) override { Touch(p, n); }
  void OnPalette(const uint8_t* p, uint32_t n) override {
    PaletteMessage palette;
    if (!ParseMessage(p, n, &palette)) std::abort();
    Touch(palette.entries, kPaletteEntryCount * kPaletteEntrySize);
  }

  uint32_t sum = 0;

 private:
  void Touch(const uint8_t* p, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) sum += p[i];
  }
};

// Checks that the walker only ever points into the input.
class BoundsSink : public ContainerRecordSink {
 public:
  BoundsSink(const uint8_t* begin, const uint8_t* end) : begin_(begin), end_(end) {}
  bool OnRecord(uint32_t, uint32_t size, const uint8_t* payload) override {
    if (payload < begin_ || payload > end_ || size > static_cast<size_t>(end_ - payload)) {
      std::abort();
    }
    ++records;
    return true;
  }
  uint32_t records = 0;

 private:
  const uint8_t* begin_;
  const uint8_t* end_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  const uint32_t n = static_cast<uint32_t>(size);
  BoundsSink bounds(data, data + size);
  WalkFullUpdateContainer(data, n, bounds);

  TouchingEventMgr events;
  Event container{ZKP_FULLUPDATE, n, const_cast<uint8_t*>(data)};
  if (!events.PostEvent(&container)) std::abort();  // only memory may refuse it
  events.DispatchEvents();
  return 0;
}
