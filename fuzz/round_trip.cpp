// Compress then decompress: whatever the stages, search limit and reference,
// the receiver ends up with the pixels as its depth maps them, and the
// reference may sit inside the output buffer as the presenter places it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compression/CodecTestSupport.h"
#include "compression/CompressionMgr.h"
#include "frames/PixelRoutines.h"

namespace {

const int32_t kSearchLimits[] = {32768, 1024, 64, 0};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // Byte 0: stages and search limit; byte 1: how the reference is made.
  static_assert(sizeof kStageCombinations == 12, "inputs name a combination by byte 0 modulo 12");
  const uint8_t stages = kStageCombinations[data[0] % 12];
  const int32_t limit = kSearchLimits[(data[0] / 12) % 4];
  const uint8_t mode = data[1] % 3;
  data += 2;
  size -= 2;
  uint32_t n = static_cast<uint32_t>(size / 3);
  if (mode == 1) n /= 2;  // the two halves: pixels, then reference
  std::vector<uint8_t> pixels(data, data + 3 * static_cast<size_t>(n));
  std::vector<uint8_t> reference;
  if (mode == 1) {
    reference.assign(data + 3 * static_cast<size_t>(n), data + 6 * static_cast<size_t>(n));
  } else if (mode == 2) {
    reference = pixels;  // mostly unchanged: one pixel in seven differs
    for (size_t i = 0; i < reference.size(); i += 21) reference[i] ^= 0x80;
  }
  SetNominalPaletteTable();

  CompressionMgr mgr;
  mgr.EnableHuffman(stages & STAGE_HUFFMAN);
  mgr.EnableLZ(stages & STAGE_LZ77);
  mgr.EnableRLE332(stages & STAGE_RLE332);
  mgr.EnableRLE565(stages & STAGE_RLE565);
  mgr.SetLZMaxSearch(limit);
  std::vector<uint8_t> work(CompressBound(n));
  uint8_t* const inWork = work.data() + kReferenceOffsetInOutput;
  if (!reference.empty()) std::memcpy(inWork, reference.data(), reference.size());
  const uint8_t* ref = reference.empty() ? nullptr : inWork;
  // An empty region still has a place in memory.
  static const uint8_t kNoPixels = 0;
  const uint8_t* in = pixels.empty() ? &kNoPixels : pixels.data();
  const uint32_t streamLength = mgr.Compress(3, n, ref, in, work.data());

  if (streamLength == 0) {
    // Nothing to send is only right for an unchanged region.
    if (!(stages & (STAGE_RLE565 | STAGE_RLE332)) || reference != pixels) std::abort();
    return 0;
  }
  if (streamLength > CompressBound(n) || (work[0] & ~stages) != 0) std::abort();
  std::vector<uint8_t> region = ReceiverView(stages, reference.empty() ? pixels : reference);
  if (reference.empty()) std::fill(region.begin(), region.end(), 0x33);
  region.push_back(0x77);  // a guard byte past the region
  std::vector<uint8_t> stream(work.begin(), work.begin() + streamLength);
  const uint32_t covered = mgr.Decompress(streamLength, stream.data(), 3 * n, region.data());
  if (covered != 3 * n || region.back() != 0x77) std::abort();
  region.pop_back();
  if (region != ReceiverView(stages, pixels)) std::abort();
  return 0;
}
