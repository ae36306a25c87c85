#include <windows.h>
// bcrypt.h needs the types of windows.h first.
#include <bcrypt.h>

#include "SystemRandom.h"

bool FillSystemRandom(uint8_t* buffer, size_t length) {
  return BCryptGenRandom(nullptr, buffer, static_cast<ULONG>(length), BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
}
