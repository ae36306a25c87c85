#pragma once

#include <cstdint>

// One protocol message. Native hosts pass pointers to this record through the
// exported queue functions, so its field order and sizes are fixed: on the
// 32-bit library it is 12 bytes (type, size, payload pointer).
struct Event {
  uint32_t type;     // ZKP_* message type
  uint32_t size;     // payload bytes
  uint8_t* payload;  // size bytes; null for an outgoing event of size 0
};
