#pragma once

#include <cstddef>
#include <cstdint>

// True when the two byte strings are equal, in a time that does not depend on
// where they differ: comparing a secret must not tell a guesser how much of
// the guess was right. Any thread.
inline bool EqualInConstantTime(const uint8_t* a, const uint8_t* b, size_t length) {
  // volatile keeps the compiler from leaving the loop at the first difference.
  volatile uint8_t difference = 0;
  for (size_t i = 0; i < length; ++i) difference = difference | (a[i] ^ b[i]);
  return difference == 0;
}
