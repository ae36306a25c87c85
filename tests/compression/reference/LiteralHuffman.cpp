#include "compression/reference/LiteralHuffman.h"

#include <cstring>

namespace {

struct LiteralEncoder {
  uint8_t* output;
  int32_t capacity;
  int32_t position = 0;
  uint32_t accumulator = 0;
  uint32_t bitCount = 0;
  uint32_t FREQ[257];
  uint8_t EHUFSI[257];
  uint16_t EHUFCO[257];
  uint8_t HUFFVAL[256];
  uint8_t BITS[33];  // index = length, 1 to 32

  bool PutByte(uint8_t b) {
    if (position >= capacity) return false;
    output[position++] = b;
    return true;
  }

  bool PutBits(uint32_t code, uint32_t size) {
    for (int k = static_cast<int>(size) - 1; k >= 0; --k) {
      accumulator = (accumulator << 1) | ((code >> k) & 1);
      if (++bitCount == 8) {
        if (!PutByte(static_cast<uint8_t>(accumulator))) return false;
        accumulator = 0;
        bitCount = 0;
      }
    }
    return true;
  }

  uint32_t Encode(const uint8_t* src, uint32_t n) {
    memset(FREQ, 0, sizeof FREQ);
    FREQ[256] = 1;
    if (n < 1024) return 0;
    for (uint32_t i = 0; i < n; ++i) FREQ[src[i]]++;

    // Figure K.1
    int CODESIZE[257];
    int OTHERS[257];
    for (int i = 0; i < 257; ++i) {
      CODESIZE[i] = 0;
      OTHERS[i] = -1;
    }
    for (;;) {
      int c1 = -1;
      for (int s = 0; s < 257; ++s) {
        if (FREQ[s] != 0 && (c1 < 0 || FREQ[s] <= FREQ[c1])) c1 = s;
      }
      int c2 = -1;
      for (int s = 0; s < 257; ++s) {
        if (s != c1 && FREQ[s] != 0 && (c2 < 0 || FREQ[s] <= FREQ[c2])) c2 = s;
      }
      if (c2 < 0) break;
      FREQ[c1] += FREQ[c2];
      FREQ[c2] = 0;
      CODESIZE[c1]++;
      while (OTHERS[c1] != -1) {
        c1 = OTHERS[c1];
        CODESIZE[c1]++;
      }
      OTHERS[c1] = c2;
      CODESIZE[c2]++;
      while (OTHERS[c2] != -1) {
        c2 = OTHERS[c2];
        CODESIZE[c2]++;
      }
    }

    // Figure K.2
    memset(BITS, 0, sizeof BITS);
    for (int i = 0; i < 257; ++i) {
      if (CODESIZE[i] != 0) BITS[CODESIZE[i]]++;
    }

    // Figure K.3
    for (int i = 32; i > 16; --i) {
      while (BITS[i] > 0) {
        int j = i - 2;
        while (BITS[j] == 0) j--;
        BITS[i] -= 2;
        BITS[i - 1] += 1;
        BITS[j + 1] += 2;
        BITS[j] -= 1;
      }
    }
    int l = 16;
    while (BITS[l] == 0) l--;
    BITS[l] -= 1;

    // Figure K.4
    int k = 0;
    for (int length = 1; length <= 31; ++length) {
      for (int v = 0; v <= 255; ++v) {
        if (CODESIZE[v] == length) HUFFVAL[k++] = static_cast<uint8_t>(v);
      }
    }

    // Figures C.1 to C.3
    int HUFFSIZE[257];
    uint32_t HUFFCODE[257];
    int lastk = 0;
    for (int length = 1; length <= 16; ++length) {
      for (int c = 0; c < BITS[length]; ++c) HUFFSIZE[lastk++] = length;
    }
    HUFFSIZE[lastk] = 0;
    uint32_t code = 0;
    int si = HUFFSIZE[0];
    k = 0;
    while (HUFFSIZE[k] != 0) {
      while (HUFFSIZE[k] == si) {
        HUFFCODE[k++] = code++;
      }
      if (HUFFSIZE[k] == 0) break;
      do {
        code <<= 1;
        si++;
      } while (HUFFSIZE[k] != si);
    }
    memset(EHUFSI, 0, sizeof EHUFSI);
    for (k = 0; k < lastk; ++k) {
      EHUFCO[HUFFVAL[k]] = static_cast<uint16_t>(HUFFCODE[k]);
      EHUFSI[HUFFVAL[k]] = static_cast<uint8_t>(HUFFSIZE[k]);
    }

    for (int length = 1; length <= 16; ++length) {
      if (!PutByte(BITS[length])) return 0;
    }
    for (k = 0; k < lastk; ++k) {
      if (!PutByte(HUFFVAL[k])) return 0;
    }
    for (uint32_t i = 0; i < n; ++i) {
      if (!PutBits(EHUFCO[src[i]], EHUFSI[src[i]])) return 0;
    }
    if (bitCount > 0) {
      while (bitCount < 8) {
        accumulator = (accumulator << 1) | 1;
        bitCount++;
      }
      if (!PutByte(static_cast<uint8_t>(accumulator))) return 0;
    }
    return static_cast<uint32_t>(position);
  }
};

}  // namespace

uint32_t LiteralHuffmanEncode(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity) {
  LiteralEncoder* e = new LiteralEncoder;
  e->output = dst;
  e->capacity = static_cast<int32_t>(capacity);
  const uint32_t r = e->Encode(src, n);
  delete e;
  return r;
}

uint32_t LiteralHuffmanDecode(const uint8_t* src, uint32_t n, uint8_t* dst, uint32_t capacity) {
  if (n < 16) return 0;
  int BITS[17];
  int total = 0;
  uint32_t space = 0;
  for (int l = 1; l <= 16; ++l) {
    BITS[l] = src[l - 1];
    total += BITS[l];
    space += static_cast<uint32_t>(BITS[l]) << (16 - l);
  }
  if (total > 256 || space > 65536 || static_cast<uint32_t>(16 + total) > n) return 0;
  const uint8_t* HUFFVAL = src + 16;

  // Figure F.15
  int32_t MAXCODE[17];
  uint32_t MINCODE[17];
  int VALPTR[17];
  uint32_t code = 0;
  int k = 0;
  for (int l = 1; l <= 16; ++l) {
    if (BITS[l] == 0) {
      MAXCODE[l] = -1;
      MINCODE[l] = 257;
      VALPTR[l] = 0;
    } else {
      VALPTR[l] = k;
      MINCODE[l] = code;
      code += BITS[l];
      k += BITS[l];
      MAXCODE[l] = static_cast<int32_t>(code - 1);
    }
    code <<= 1;
  }

  // Figure F.16, one bit at a time.
  uint32_t position = 16 + total;
  int current = 0;
  int bitsLeft = 0;
  auto nextBit = [&](int& bit) {
    if (bitsLeft == 0) {
      if (position >= n) return false;
      current = src[position++];
      bitsLeft = 8;
    }
    bitsLeft--;
    bit = (current >> bitsLeft) & 1;
    return true;
  };
  uint32_t produced = 0;
  while (produced < capacity) {
    int bit;
    if (!nextBit(bit)) break;
    int32_t c = bit;
    int l = 1;
    bool ranOut = false;
    while (c > MAXCODE[l]) {
      if (l == 16) return 0;  // no code within 16 bits
      if (!nextBit(bit)) {
        ranOut = true;
        break;
      }
      c = 2 * c + bit;
      l++;
    }
    if (ranOut) break;
    dst[produced++] = HUFFVAL[VALPTR[l] + c - static_cast<int32_t>(MINCODE[l])];
  }
  return produced;
}
