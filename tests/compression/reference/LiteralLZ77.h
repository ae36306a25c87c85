#pragma once

#include <cstdint>

// A slow, literal LZ77 encoder kept as the yardstick for the real one: it
// walks every hash chain node by node and compares every candidate byte by
// byte, exactly as the algorithm is written down, so that any stream the fast
// encoder makes can be checked against it. Tests only; any thread (its tables
// live in the call).
//
// How the chains are searched. kEveryCandidate compares every candidate, as
// written down. kPruned takes the two shortcuts that cannot change the
// choice: it stops once the distance caps every later candidate at the best
// length, and passes over a candidate whose byte at the best length differs
// from i's. The tests hold the two to the same streams, and the pruned one
// stands in for the other on inputs that would take it minutes.
enum class LiteralSearch { kEveryCandidate, kPruned };

// Returns the bytes written at dst (end byte included), or 0 when the input is
// shorter than 512 bytes or the stream would not fit in capacity.
uint32_t LiteralLZ77Encode(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity,
                           int32_t searchLimit, LiteralSearch search = LiteralSearch::kEveryCandidate);
