// Gives received payloads of any type and length to the size checks and the
// display parsers: a payload they accept must hold everything the result
// points at. The first input byte chooses the type, the rest is the payload.
#include <cstdint>
#include <cstdlib>

#include "events/ProtocolMessages.h"

namespace {

uint32_t Sum(const uint8_t* p, uint32_t n) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) sum += p[i];
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 0xFFFFFFFFu) return 0;
  const uint32_t type = data[0] % 16;
  const uint8_t* payload = data + 1;
  const uint32_t n = static_cast<uint32_t>(size - 1);
  volatile uint32_t sink = 0;

  char name[kProtocolTypeNameCapacity];
  FormatProtocolTypeName(data[0] < 16 ? type : 0xFFFFFF00u | data[0], name);

  const bool complete = PayloadIsComplete(type, payload, n);
  if (complete && n < MinimumPayloadSize(type)) std::abort();

  DisplayFormat format;
  if (ParseDisplayFormat(payload, n, &format)) sink = sink + format.width + format.height;
  DisplayUpdate update;
  if (ParseDisplayUpdate(payload, n, &update)) {
    if (update.stream + update.streamLength + 1 > payload + n) std::abort();
    sink = sink + Sum(update.stream, update.streamLength + 1);  // stream and trailing byte
  }
  Palette palette;
  if (ParsePalette(payload, n, &palette))
    sink = sink + Sum(palette.entries, 4 * kPaletteEntryCount);
  uint32_t tag = 0;
  uint32_t recordBytes = 0;
  if (ReadFullUpdateHeader(payload, n, &tag, &recordBytes)) sink = sink + tag + recordBytes;
  (void)sink;
  return 0;
}
