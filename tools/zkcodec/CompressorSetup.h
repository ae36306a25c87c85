#pragma once

#include <cstdint>

#include "compression/CompressionMgr.h"
#include "frames/PixelRoutines.h"

// Applies stage flags the way start-up configuration does: one enable call
// per stage, the 5-6-5 run-length stage last so that it wins over 3-3-2.
inline void ConfigureCompressor(CompressionMgr& compressor, uint8_t stageFlags, int32_t lzMaxSearch) {
  compressor.EnableHuffman((stageFlags & STAGE_HUFFMAN) != 0);
  compressor.EnableLZ((stageFlags & STAGE_LZ77) != 0);
  compressor.EnableRLE332((stageFlags & STAGE_RLE332) != 0);
  compressor.EnableRLE565((stageFlags & STAGE_RLE565) != 0);
  compressor.SetLZMaxSearch(lzMaxSearch);
}

// Regions are addressed with 32-bit byte counts, their streams included.
inline bool FitsOneRegion(uint64_t pixelCount) { return CompressBound(pixelCount) <= UINT32_MAX; }

