#pragma once

#include <cstdint>

// The compression pipeline written out literally on top of the literal
// codecs: same stage order, same decline rules, same stage byte. The yardstick
// for CompressionMgr::Compress. Tests only.
uint32_t LiteralCompress(uint8_t stageFlags, int32_t lzMaxSearch, uint32_t pixelCount,
                         const uint8_t* reference, const uint8_t* bitsIn, uint8_t* bitsOut);
