#include <windows.h>

#include "common/HostMemory.h"

uint8_t* HostAlloc(uint32_t size) {
  if (size == 0) return nullptr;
  return static_cast<uint8_t*>(GlobalAlloc(GMEM_FIXED, size));
}

bool HostFree(void* block) {
  if (!block) return true;
  return GlobalFree(block) == nullptr;  // GlobalFree returns the block when it fails
}
