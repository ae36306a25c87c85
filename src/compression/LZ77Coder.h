#pragma once

#include <cstdint>

// LZ77Coder: the middle stage of a display-update stream. It turns bytes
// (normally run-length tokens) into literal blocks and back-references of 4
// to 127 bytes into the last 32768 positions, and back again.
//
// Token stream: 0x00 ends it; 0x01..0x7F is a literal block of that many
// bytes; 0x80 | L is a match of L bytes followed by its distance (u16,
// little-endian).
//
// Owned by the compression pipeline for one Compress or Decompress call, on
// the worker thread. Encode uses the process-wide match-finder tables, so at
// most one Encode may run at a time in the process; Decode touches no shared
// state.
class LZ77Coder {
 public:
  LZ77Coder() = default;

  // Most hash-chain candidates examined per position; 0 or less examines
  // none.
  void SetSearchLimit(int32_t limit) { searchLimit_ = limit; }
  int32_t GetSearchLimit() const { return searchLimit_; }

  // Returns the bytes written at dst (end byte included), or 0 when the stage
  // declines: n below 512, or the stream would not fit in capacity.
  uint32_t Encode(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity);

  // Decodes an untrusted stream of `length` bytes into dst (capacity bytes).
  // Returns the bytes produced; a stream that fills dst exactly may stop
  // there without its end byte. Returns 0 after reporting the input (see
  // DecodeFailureReporter.h) when a token runs past the input or past
  // capacity, or a match has distance 0 or reaches before the start of dst.
  // A match longer than its distance repeats the bytes it has just copied
  // (an overlapping forward copy); the encoder never makes one.
  static uint32_t Decode(const uint8_t* src, uint32_t length, uint8_t* dst, uint32_t capacity);

 private:
  int32_t searchLimit_ = 32768;
};
