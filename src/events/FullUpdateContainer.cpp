#include "events/FullUpdateContainer.h"

#include <new>
#include <vector>

#include "common/Trace.h"
#include "events/PayloadFields.h"

namespace {

constexpr auto kFullUpdateHeaderFields = [](auto& fields, auto& m) {
  fields(m.requestTag);
  fields(m.recordBytes);
};
static_assert(LayoutSize<FullUpdateHeader>(kFullUpdateHeaderFields) == kFullUpdateHeaderSize);

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
    FullUpdateHeader header;
    if (!ParseMessage(payload, size, &header)) {
      malformed_ = true;
      Trace(TRACE_WARNING, "\r\nFull update of %u bytes has no header: dropped", size);
      return false;
    }
    const uint32_t room = size - kFullUpdateHeaderSize;
    uint32_t recordBytes = header.recordBytes;
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
    EventHeader record;
    if (!ParseMessage(area.next, left, &record)) {
      malformed_ = true;
      Trace(TRACE_WARNING, "\r\nFull update record header cut after %u bytes: rest dropped", left);
      areas_.pop_back();
      return;
    }
    if (record.size > left - kEventHeaderSize) {
      malformed_ = true;
      Trace(TRACE_WARNING,
            "\r\nFull update record of %u bytes overruns its container: rest dropped",
            record.size);
      areas_.pop_back();
      return;
    }
    const uint8_t* payload = area.next + kEventHeaderSize;
    area.next = payload + record.size;
    if (record.type == ZKP_FULLUPDATE) {
      Enter(payload, record.size);
    } else if (!sink_.OnRecord(record.type, record.size, payload)) {
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

void WriteMessage(uint8_t* out, const FullUpdateHeader& header) {
  WriteFields(out, header, kFullUpdateHeaderFields);
}

bool ParseMessage(const uint8_t* payload, uint32_t size, FullUpdateHeader* out) {
  return ParseFields(payload, size, out, kFullUpdateHeaderFields);
}

ContainerWalk WalkFullUpdateContainer(const uint8_t* payload, uint32_t size,
                                      ContainerRecordSink& sink) {
  return Walker(sink).Run(payload, size);
}
