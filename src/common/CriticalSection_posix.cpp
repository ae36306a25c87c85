#include "common/CriticalSection.h"

#include <mutex>
#include <new>

static_assert(sizeof(std::recursive_mutex) <= 48, "storage too small for recursive_mutex");

static std::recursive_mutex* Native(unsigned char* storage) {
  return std::launder(reinterpret_cast<std::recursive_mutex*>(storage));
}

CriticalSection::CriticalSection() { new (storage_) std::recursive_mutex(); }
CriticalSection::~CriticalSection() { Native(storage_)->~recursive_mutex(); }
void CriticalSection::Enter() { Native(storage_)->lock(); }
void CriticalSection::Leave() { Native(storage_)->unlock(); }
