#pragma once

#include <cstdint>

// Blocks that cross the host boundary: outgoing payloads are allocated here and
// freed by the host with the platform's matching call (GlobalFree on Win32),
// so both sides must agree on the allocator. Any thread.

// A fixed block of size bytes, or null when size is 0 or memory is short.
uint8_t* HostAlloc(uint32_t size);

// Frees a block from HostAlloc; null is accepted. False when the platform
// refuses the block.
bool HostFree(void* block);
