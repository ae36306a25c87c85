#pragma once

#include <cstddef>
#include <cstdint>

// Fills the buffer from the operating system's random source, the one its
// own key generation uses. False when that source failed: there is no
// weaker fallback, so a caller left without randomness makes no keys.
// Any thread.
bool FillSystemRandom(uint8_t* buffer, size_t length);
