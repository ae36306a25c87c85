#include <sys/random.h>

#include <cerrno>

#include "SystemRandom.h"

bool FillSystemRandom(uint8_t* buffer, size_t length) {
  // The kernel may hand over less than asked, or be interrupted by a signal.
  while (length > 0) {
    ssize_t got = getrandom(buffer, length, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buffer += got;
    length -= static_cast<size_t>(got);
  }
  return true;
}
