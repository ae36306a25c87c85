#pragma once

#include <cstdint>

#include "common/Clock.h"

// The statistics store: grand totals and a ring of the last 256 display
// updates, from which running totals over a time window are summed. The
// storage is process-wide and unlocked: compression, the update builder and
// the statistics window all run on the worker thread. Times are tick counts
// in milliseconds; every function that reads the clock takes `now` so that
// callers (and tests) decide what time it is.

struct StatRecord {
  uint32_t time;     // totals: when counting started; slot: when recorded;
                     // window sum: the earliest slot included
  uint32_t entries;  // display updates (a slot: 1 once complete)
  uint32_t bytes;    // compressed stream bytes sent
  uint32_t raw;      // bytes handed to compression
  uint32_t rleIn, rleOut, rleMs;
  uint32_t lz77In, lz77Out, lz77Ms;
  uint32_t huffmanIn, huffmanOut, huffmanMs;
};

constexpr uint32_t kStatRingSlots = 256;

// Clears the totals and the whole ring and starts counting at `now`. The ring
// index is left where it is.
void StatReset(uint32_t now = TickCountMs());

// Recording, in the order of one update: raw, the three stages (zeros for a
// stage not applied), then the message, which completes the current slot and
// moves on to the next.
void StatAddRaw(uint32_t bytes);
void StatAddRLE(uint32_t in, uint32_t out, uint32_t ms);
void StatAddLZ77(uint32_t in, uint32_t out, uint32_t ms);
void StatAddHuffman(uint32_t in, uint32_t out, uint32_t ms);
void StatAddMessage(uint32_t bytes, uint32_t now = TickCountMs());

const StatRecord& StatTotals();
const StatRecord& StatSlot(uint32_t index);
uint32_t StatRingIndex();

// Sums the complete slots recorded no more than `window` ms before `now`.
void StatSumWindow(uint32_t window, uint32_t now, StatRecord& out);

// The seven text lines that show one record under a title.
constexpr int kStatSectionLines = 7;
constexpr int kStatLineSize = 1024;
void FormatStatSection(const char* title, const StatRecord& record, uint32_t now,
                       char lines[kStatSectionLines][kStatLineSize]);
