#include "common/CriticalSection.h"

#include <windows.h>

#include <new>

static_assert(sizeof(CRITICAL_SECTION) <= 48, "storage too small for CRITICAL_SECTION");

static CRITICAL_SECTION* Native(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

CriticalSection::CriticalSection() { InitializeCriticalSection(Native(storage_)); }
CriticalSection::~CriticalSection() { DeleteCriticalSection(Native(storage_)); }
void CriticalSection::Enter() { EnterCriticalSection(Native(storage_)); }
void CriticalSection::Leave() { LeaveCriticalSection(Native(storage_)); }
