#pragma once

#include <cstdint>

#include "events/ProtocolTypes.h"

// The full-update container (ZKP_FULLUPDATE): a header, then records back to
// back, each an event header and its payload. EventMgr builds containers;
// WalkFullUpdateContainer reads received ones: the records they carry, in
// order, with containers nested in them unpacked in place.
//
// The container comes from another machine and is not trusted. Its record
// area is the record-byte count clipped to the payload; a record whose header
// or payload would cross the end of its area ends the walk of that area (the
// framing after it cannot be trusted), and the records before it are kept.
// Nesting is walked with an explicit list of resume points on the heap, so
// depth costs no call stack; a container that is the last record of its
// parent replaces the parent instead of adding a level.
//
// Free functions, no state; any thread.

// The request tag is the value the host passed with its full-update request;
// it travels back unchanged so that the host can tell which request a
// container answers. Receiving libraries do not read it.
struct FullUpdateHeader {
  uint32_t requestTag;
  uint32_t recordBytes;
};
constexpr uint32_t kFullUpdateHeaderSize = 8;
inline uint32_t MessageSize(const FullUpdateHeader&) { return kFullUpdateHeaderSize; }
void WriteMessage(uint8_t* out, const FullUpdateHeader& header);
// The record-byte count is returned as read: the walk clips it to the payload.
bool ParseMessage(const uint8_t* payload, uint32_t size, FullUpdateHeader* out);

// Receives the records of a container that are not themselves containers.
class ContainerRecordSink {
 public:
  // Payload points into the container and is valid only during the call.
  // Return false to stop the walk.
  virtual bool OnRecord(uint32_t type, uint32_t size, const uint8_t* payload) = 0;

 protected:
  ~ContainerRecordSink() = default;
};

enum class ContainerWalk {
  COMPLETE,       // every record delivered
  MALFORMED,      // records that lay wholly inside were delivered, the rest dropped with a trace
  STOPPED,        // the sink asked to stop
  OUT_OF_MEMORY,  // no room to remember a nesting level; the walk ended there
};

ContainerWalk WalkFullUpdateContainer(const uint8_t* payload, uint32_t size,
                                      ContainerRecordSink& sink);
