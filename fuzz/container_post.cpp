// Feeds one received full-update container to the incoming queue and
// dispatches it: every record that comes out must lie wholly inside the input
// and reach its handler as a record whose pointers the handler may trust.
#include <cstdint>
#include <cstdlib>

#include "events/Event.h"
#include "events/EventMgr.h"
#include "events/FullUpdateContainer.h"
#include "events/ProtocolMessages.h"

namespace {

// Reads every byte a record points at, so that a pointer or length the
// parser let through beyond the payload shows as an out-of-bounds read.
class TouchingEventMgr : public EventMgr {
 public:
  void OnDisplayUpdate(const DisplayUpdateMessage& u) override {
    Touch(u.stream, u.streamLength);
  }
  void OnPalette(const PaletteMessage& p) override {
    Touch(p.entries, kPaletteEntryCount * kPaletteEntrySize);
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
