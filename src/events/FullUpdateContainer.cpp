#include "events/FullUpdateContainer.h"

#include <new>
#include <vector>

#include "common/ByteOrder.h"
#include "common/Trace.h"
#include "events/ProtocolMessages.h"

namespace {

// A record area still to be read: [next, end) within the outermost payload.
struct Area {
  const uint8_t* next;
  const uint8_t* end;
};

class Walker {
 public:
  explicit Walker(ContainerRecordSink& sink) : sink_(sink) {}

  ContainerWalk Run(const uint8_t* payload, uint32_t size) {
    if (!Enter(payload, size)) return Result();
    while (!areas_.empty() && !stopped_ && !outOfMemory_) Step();
    return Result();
  }

 private:
  // Opens the record area of one container; false when it has none to read.
  bool Enter(const uint8_t* payload, uint32_t size) {
    Trace(TRACE_LIFECYCLE, "\r\nGot Full Update!");
    uint32_t tag = 0;
    uint32_t recordBytes = 0;
    if (!ReadFullUpdateHeader(payload, size, &tag, &recordBytes)) {
      malformed_ = true;
      Trace(TRACE_WARNING, "\r\nFull update of %u bytes has no header: dropped", size);
      return false;
    }
    const uint32_t room = size - kFullUpdateHeaderSize;
    if (recordBytes > room) {
      malformed_ = true;
      Trace(TRACE_WARNING, "\r\nFull update claims %u record bytes in %u: reading those present",
            recordBytes, room);
      recordBytes = room;
    }
    if (recordBytes == 0) return false;
    const Area area{payload + kFullUpdateHeaderSize, payload + kFullUpdateHeaderSize + recordBytes};
    // A container that closes its parent's area takes the parent's place, so
    // well-formed nesting of any depth needs a single level.
    if (!areas_.empty() && areas_.back().next == areas_.back().end) areas_.pop_back();
    try {
      areas_.push_back(area);
    } catch (const std::bad_alloc&) {
      Trace(TRACE_WARNING, "\r\nFull update nested too deep for memory: rest dropped");
      outOfMemory_ = true;
      return false;
    }
    return true;
  }

  // Reads one record of the innermost area.
  void Step() {
    Area& area = areas_.back();
    const uint32_t left = static_cast<uint32_t>(area.end - area.next);
    if (left == 0) {
      areas_.pop_back();
      return;
    }
    if (left < kRecordHeaderSize) {
      malformed_ = true;
      Trace(TRACE_WARNING, "\r\nFull update record header cut after %u bytes: rest dropped", left);
      areas_.pop_back();
      return;
    }
    const uint32_t type = LoadU32LE(area.next);
    const uint32_t size = LoadU32LE(area.next + 4);
    if (size > left - kRecordHeaderSize) {
      malformed_ = true;
      Trace(TRACE_WARNING,
            "\r\nFull update record of %u bytes overruns its container: rest dropped", size);
      areas_.pop_back();
      return;
    }
    const uint8_t* payload = area.next + kRecordHeaderSize;
    area.next = payload + size;
    if (type == ZKP_FULLUPDATE) {
      Enter(payload, size);
    } else if (!sink_.OnRecord(type, size, payload)) {
      stopped_ = true;
    }
  }

  ContainerWalk Result() const {
    if (outOfMemory_) return ContainerWalk::OUT_OF_MEMORY;
    if (stopped_) return ContainerWalk::STOPPED;
    return malformed_ ? ContainerWalk::MALFORMED : ContainerWalk::COMPLETE;
  }

  ContainerRecordSink& sink_;
  std::vector<Area> areas_;
  bool malformed_ = false;
  bool stopped_ = false;
  bool outOfMemory_ = false;
};

}  // namespace

ContainerWalk WalkFullUpdateContainer(const uint8_t* payload, uint32_t size,
                                      ContainerRecordSink& sink) {
  return Walker(sink).Run(payload, size);
}
