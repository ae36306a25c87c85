#pragma once

#include <cstdint>
#include <vector>

#include "ZKLibrary.h"

// A stand-in for ZK.dll's queue functions, so that the presenter's host can
// be driven and observed exactly: events the test queues are drained as the
// library's, a full-update request is answered at once by an empty
// container carrying its tag, and what the host posts is kept. One at a
// time per process (the functions are plain C functions); any thread.
namespace standin {
// A library whose queue is empty and whose records are cleared.
ZKLibrary Fresh();
void Queue(uint32_t type, const std::vector<uint8_t>& payload);
// Events the host posted into the library, of one type.
int Posted(uint32_t type);
}  // namespace standin
