#pragma once

#include <cstdint>

// Reads a received full-update container: the records it carries, in order,
// with containers nested in it unpacked in place.
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
