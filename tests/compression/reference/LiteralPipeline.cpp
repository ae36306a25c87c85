#include "compression/reference/LiteralPipeline.h"

#include <cstring>
#include <vector>

#include "compression/reference/LiteralHuffman.h"
#include "compression/reference/LiteralLZ77.h"
#include "compression/reference/LiteralRunLength.h"

uint32_t LiteralCompress(uint8_t stageFlags, int32_t lzMaxSearch, uint32_t pixelCount,
                         const uint8_t* reference, const uint8_t* bitsIn, uint8_t* bitsOut) {
  const uint32_t n = 3 * pixelCount;
  std::vector<uint8_t> tbits(n + 256);
  uint8_t stage = 0;
  const uint8_t* data = bitsIn;
  uint32_t m = n;
  uint8_t* const payload = bitsOut + 1;

  if (stageFlags & 0x02) {
    const uint32_t r = LiteralRLE565Encode(pixelCount, reference, bitsIn, payload);
    if (r == 0) return 0;
    stage = 0x02;
    data = payload;
    m = r;
  } else if (stageFlags & 0x04) {
    const uint32_t r = LiteralRLE332Encode(pixelCount, reference, bitsIn, payload);
    if (r == 0) return 0;
    stage = 0x04;
    data = payload;
    m = r;
  }
  if (stageFlags & 0x08) {
    uint8_t* target = data == payload ? tbits.data() : payload;
    const uint32_t r = LiteralLZ77Encode(data, m, target, m, lzMaxSearch);
    if (r != 0) {
      stage |= 0x08;
      data = target;
      m = r;
    }
  }
  if (stageFlags & 0x01) {
    uint8_t* target = data == payload ? tbits.data() : payload;
    const uint32_t r = LiteralHuffmanEncode(data, m, target, m);
    if (r != 0) {
      stage |= 0x01;
      data = target;
      m = r;
    }
  }
  if (data != payload) std::memmove(payload, data, m);
  bitsOut[0] = stage;
  return m + 1;
}
