#pragma once

#include <cstdint>

// Slow, literal Huffman coder kept as the yardstick for the real one: the
// encoder follows the table-building figures step by step with byte-wide
// counts and lengths up to 32, the decoder reads one bit at a time and walks
// the lengths from 1 upwards. Inputs must keep code lengths below 32 and no
// length count above 255. Tests only.
uint32_t LiteralHuffmanEncode(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity);

// Returns the bytes decoded, stopping at capacity, when the bits run out, or
// (returning 0) at a bad table or a pattern that matches no code in 16 bits.
uint32_t LiteralHuffmanDecode(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity);
