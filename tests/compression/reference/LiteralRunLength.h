#pragma once

#include <cstdint>

// Slow, literal run-length encoders kept as the yardstick for the real ones:
// byte-by-byte comparisons, one pixel at a time, in the order the procedure
// is written down. Tests only.
uint32_t LiteralRLE565Encode(uint32_t pixelCount, const uint8_t* reference, const uint8_t* pixels,
                             uint8_t* out);
uint32_t LiteralRLE332Encode(uint32_t pixelCount, const uint8_t* reference, const uint8_t* pixels,
                             uint8_t* out);
