#include <cstdlib>

#include "common/HostMemory.h"

uint8_t* HostAlloc(uint32_t size) {
  if (size == 0) return nullptr;
  return static_cast<uint8_t*>(std::malloc(size));
}

bool HostFree(void* block) {
  std::free(block);
  return true;
}
