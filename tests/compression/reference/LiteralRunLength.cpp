#include "compression/reference/LiteralRunLength.h"

namespace {

uint32_t LiteralCountEqualPixels(uint32_t count, const uint8_t* a, const uint8_t* b) {
  uint32_t pixels = 0;
  while (pixels < count && a[3 * pixels] == b[3 * pixels] &&
         a[3 * pixels + 1] == b[3 * pixels + 1] && a[3 * pixels + 2] == b[3 * pixels + 2]) {
    ++pixels;
  }
  return pixels;
}

struct Writer {
  uint8_t* out;
  uint32_t pos = 0;
  bool deep;  // 5-6-5, else 3-3-2

  void Word(uint32_t w) {
    out[pos++] = static_cast<uint8_t>(w & 0xFF);
    out[pos++] = static_cast<uint8_t>((w >> 8) & 0xFF);
  }
  void Value(const uint8_t* bgr) {
    const uint32_t b = bgr[0], g = bgr[1], r = bgr[2];
    if (deep) {
      Word(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
    } else {
      out[pos++] = static_cast<uint8_t>(((r >> 5) << 5) | ((g >> 5) << 2) | (b >> 6));
    }
  }
};

uint32_t Encode(bool deep, uint32_t n, const uint8_t* reference, const uint8_t* pixels,
                uint8_t* out) {
  Writer w{out, 0, deep};
  uint32_t pending = 0;
  uint32_t blockAt = 0;
  auto close = [&]() {
    if (pending == 0) return;
    out[blockAt] = static_cast<uint8_t>(pending & 0xFF);
    out[blockAt + 1] = static_cast<uint8_t>(pending >> 8);
    pending = 0;
  };
  uint32_t i = 0;
  while (i < n) {
    uint32_t same = 0;
    if (reference != nullptr) {
      same = LiteralCountEqualPixels(n - i, pixels + 3 * i, reference + 3 * i);
      if (same == n) return 0;
    }
    if (same >= 3) {
      close();
      for (uint32_t left = same; left > 0;) {
        const uint32_t c = left < 16383 ? left : 16383;
        w.Word(0x4000 | c);
        left -= c;
      }
      i += same;
      continue;
    }
    if (same == 0) {
      const uint32_t rep = LiteralCountEqualPixels(n - i - 1, pixels + 3 * i, pixels + 3 * (i + 1));
      if (rep >= 3) {
        close();
        for (uint32_t left = rep; left > 0;) {
          const uint32_t c = left < 16383 ? left : 16383;
          w.Word(0x8000 | c);
          w.Value(pixels + 3 * i);
          left -= c;
        }
        i += rep;
        continue;
      }
    }
    if (pending == 0) {
      blockAt = w.pos;
      w.pos += 2;
    }
    w.Value(pixels + 3 * i);
    pending += 1;
    if (pending == 16383 || i == n - 1) close();
    i += 1;
  }
  w.Word(0xC000);
  return w.pos;
}

}  // namespace

uint32_t LiteralRLE565Encode(uint32_t pixelCount, const uint8_t* reference, const uint8_t* pixels,
                             uint8_t* out) {
  return Encode(true, pixelCount, reference, pixels, out);
}

uint32_t LiteralRLE332Encode(uint32_t pixelCount, const uint8_t* reference, const uint8_t* pixels,
                             uint8_t* out) {
  return Encode(false, pixelCount, reference, pixels, out);
}
