#pragma once

#include <cstdint>

// Milliseconds from an arbitrary start, wrapping at 2^32 like the system tick
// count; differences are taken by unsigned subtraction.
uint32_t TickCountMs();
