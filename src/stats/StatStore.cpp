#include "stats/StatStore.h"

#include <cstdio>
#include <cstring>

namespace {

StatRecord g_totals;
StatRecord g_ring[kStatRingSlots];
uint32_t g_ringIndex;

StatRecord& CurrentSlot() { return g_ring[g_ringIndex]; }

void AddStage(uint32_t& totalIn, uint32_t& totalOut, uint32_t& totalMs, uint32_t& slotIn,
              uint32_t& slotOut, uint32_t& slotMs, uint32_t in, uint32_t out, uint32_t ms) {
  totalIn += in;
  totalOut += out;
  totalMs += ms;
  slotIn = in;
  slotOut = out;
  slotMs = ms;
}

void AddRecordFigures(StatRecord& sum, const StatRecord& slot) {
  sum.bytes += slot.bytes;
  sum.raw += slot.raw;
  sum.rleIn += slot.rleIn;
  sum.rleOut += slot.rleOut;
  sum.rleMs += slot.rleMs;
  sum.lz77In += slot.lz77In;
  sum.lz77Out += slot.lz77Out;
  sum.lz77Ms += slot.lz77Ms;
  sum.huffmanIn += slot.huffmanIn;
  sum.huffmanOut += slot.huffmanOut;
  sum.huffmanMs += slot.huffmanMs;
}

double Percent(uint32_t part, uint32_t whole) {
  return whole == 0 ? 0.0 : static_cast<double>(part) / static_cast<double>(whole) * 100.0;
}

// The window's formats print counts as signed 32-bit values (%d): past 2 GB
// a count reads negative.
int Signed(uint32_t value) { return static_cast<int>(static_cast<int32_t>(value)); }

}  // namespace

void StatReset(uint32_t now) {
  std::memset(&g_totals, 0, sizeof g_totals);
  std::memset(g_ring, 0, sizeof g_ring);
  g_totals.time = now;
}

void StatAddRaw(uint32_t bytes) {
  g_totals.raw += bytes;
  CurrentSlot().raw = bytes;
}

void StatAddRLE(uint32_t in, uint32_t out, uint32_t ms) {
  StatRecord& slot = CurrentSlot();
  AddStage(g_totals.rleIn, g_totals.rleOut, g_totals.rleMs, slot.rleIn, slot.rleOut,
           slot.rleMs, in, out, ms);
}

void StatAddLZ77(uint32_t in, uint32_t out, uint32_t ms) {
  StatRecord& slot = CurrentSlot();
  AddStage(g_totals.lz77In, g_totals.lz77Out, g_totals.lz77Ms, slot.lz77In, slot.lz77Out,
           slot.lz77Ms, in, out, ms);
}

void StatAddHuffman(uint32_t in, uint32_t out, uint32_t ms) {
  StatRecord& slot = CurrentSlot();
  AddStage(g_totals.huffmanIn, g_totals.huffmanOut, g_totals.huffmanMs, slot.huffmanIn,
           slot.huffmanOut, slot.huffmanMs, in, out, ms);
}

void StatAddMessage(uint32_t bytes, uint32_t now) {
  g_totals.entries += 1;
  g_totals.bytes += bytes;
  StatRecord& slot = CurrentSlot();
  slot.entries = 1;
  slot.bytes = bytes;
  slot.time = now;
  g_ringIndex = (g_ringIndex + 1) % kStatRingSlots;
  std::memset(&CurrentSlot(), 0, sizeof(StatRecord));
}

const StatRecord& StatTotals() { return g_totals; }
const StatRecord& StatSlot(uint32_t index) { return g_ring[index % kStatRingSlots]; }
uint32_t StatRingIndex() { return g_ringIndex; }

void StatSumWindow(uint32_t window, uint32_t now, StatRecord& out) {
  std::memset(&out, 0, sizeof out);
  out.time = now;
  for (const StatRecord& slot : g_ring) {
    // Unsigned arithmetic throughout, like the tick count itself.
    if (slot.entries == 0 || slot.time + window < now) continue;
    if (slot.time < out.time) out.time = slot.time;
    out.entries += 1;
    AddRecordFigures(out, slot);
  }
}

void FormatStatSection(const char* title, const StatRecord& record, uint32_t now,
                       char lines[kStatSectionLines][kStatLineSize]) {
  const float kilobytes = static_cast<float>(static_cast<int32_t>(record.bytes)) / 1024.0f;
  const float seconds = static_cast<float>(now - record.time) / 1000.0f;
  const float perSecond = seconds == 0.0f ? 0.0f : kilobytes / seconds;
  std::snprintf(lines[0], kStatLineSize, "%s: %d entries", title, Signed(record.entries));
  std::snprintf(lines[1], kStatLineSize, "Total Bytes: %3.2fk Total Time: %3.2fs",
                static_cast<double>(kilobytes), static_cast<double>(seconds));
  std::snprintf(lines[2], kStatLineSize, "Avg Bytes Per Sec: %3.2fk",
                static_cast<double>(perSecond));
  std::snprintf(lines[3], kStatLineSize, "RLE: %d -> %d (%3.2f%%) %d ms", Signed(record.rleIn),
                Signed(record.rleOut), Percent(record.rleOut, record.rleIn),
                Signed(record.rleMs));
  std::snprintf(lines[4], kStatLineSize, "LZ77: %d -> %d (%3.2f%%) %d ms",
                Signed(record.lz77In), Signed(record.lz77Out),
                Percent(record.lz77Out, record.lz77In), Signed(record.lz77Ms));
  std::snprintf(lines[5], kStatLineSize, "HUFF: %d -> %d (%3.2f%%) %d ms",
                Signed(record.huffmanIn), Signed(record.huffmanOut),
                Percent(record.huffmanOut, record.huffmanIn), Signed(record.huffmanMs));
  std::snprintf(lines[6], kStatLineSize, "Compression: %d -> %d (%3.2f%%)", Signed(record.raw),
                Signed(record.bytes), Percent(record.bytes, record.raw));
}
