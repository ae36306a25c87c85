#pragma once

#include <cstdint>

// A slow, literal LZ77 encoder kept as the yardstick for the real one: it
// walks every hash chain node by node and compares every candidate byte by
// byte, exactly as the algorithm is written down, so that any stream the fast
// encoder makes can be checked against it. Tests only; any thread (its tables
// live in the call).
//
// Returns the bytes written at dst (end byte included), or 0 when the input is
// shorter than 512 bytes or the stream would not fit in capacity.
uint32_t LiteralLZ77Encode(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity,
                           int32_t searchLimit);
