#pragma once

#include <cstdint>
#include <vector>

#include "compression/CompressionMgr.h"
#include "events/ProtocolMessages.h"
#include "events/MessageBytes.h"
#include "frames/PixelRoutines.h"

// Display events as a presenter makes them, for viewer tests: pixels are
// packed bottom-up 24-bit pictures, streams come from the real compressor.

using Pixels = std::vector<uint8_t>;

// The stream of a packed picture against what the viewer holds for the same
// rectangle (null for none, as in a full frame).
inline std::vector<uint8_t> CompressPicture(CompressionMgr& codec, const Pixels& picture,
                                            const Pixels* reference) {
  const uint32_t count = static_cast<uint32_t>(picture.size() / 3);
  std::vector<uint8_t> stream(CompressBound(count));
  const uint32_t length =
      codec.Compress(3, count, reference ? reference->data() : nullptr, picture.data(),
                     stream.data());
  stream.resize(length);
  return stream;
}

inline std::vector<uint8_t> FormatPayload(uint32_t token, uint16_t width, uint16_t height) {
  return BytesOf(DisplayFormatMessage{token, width, height});
}

inline std::vector<uint8_t> UpdatePayload(uint32_t token, uint16_t left, uint16_t top,
                                          uint16_t width, uint16_t height,
                                          const std::vector<uint8_t>& stream) {
  return BytesOf(DisplayUpdateMessage{token, left, top, width, height,
                                      static_cast<uint32_t>(stream.size()), stream.data()});
}

inline std::vector<uint8_t> PalettePayload(uint32_t token, const Pixels& picture) {
  uint8_t entries[kPaletteBytes];
  BuildPalette(static_cast<uint32_t>(picture.size() / 3), picture.data(), entries);
  return BytesOf(PaletteMessage{token, entries});
}

// A w x h packed picture of varied content: gradients with a few flat
// blocks, so that every stage has something to do.
inline Pixels PatternPicture(int32_t w, int32_t h, uint32_t seed) {
  Pixels p(static_cast<size_t>(w) * h * 3);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* px = &p[(static_cast<size_t>(y) * w + x) * 3];
      const bool flat = ((x / 8) + (y / 8) + seed) % 3 == 0;
      px[0] = flat ? static_cast<uint8_t>(seed * 40) : static_cast<uint8_t>(x * 5 + seed);
      px[1] = flat ? 200 : static_cast<uint8_t>(y * 3 + x);
      px[2] = flat ? 17 : static_cast<uint8_t>((x ^ y) * 7 + seed * 13);
    }
  return p;
}
