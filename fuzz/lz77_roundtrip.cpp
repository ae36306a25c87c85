// Any input through the LZ77 encoder: the stream is the one the literal
// encoder makes, and it decodes back to the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compression/LZ77Coder.h"
#include "compression/reference/LiteralLZ77.h"

namespace {
const int32_t kLimits[] = {32768, 1024, 64, 2, 1, 0, -1, 40000};
// The literal encoder's cost grows with the cube of repetitive input.
constexpr size_t kLongestCompared = 6000;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int32_t limit = kLimits[data[0] % 8];
  // Short inputs are repeated to the 512 bytes the stage needs, which also
  // makes them periodic.
  std::vector<uint8_t> input(data + 1, data + size);
  const size_t original = input.size();
  while (input.size() < 512) input.insert(input.end(), input.begin(), input.begin() + original);
  const uint32_t n = static_cast<uint32_t>(input.size());

  const uint32_t roomy = n + n / 64 + 16;
  LZ77Coder coder;
  coder.SetSearchLimit(limit);
  std::vector<uint8_t> stream(roomy);
  stream.resize(coder.Encode(input.data(), n, stream.data(), roomy));
  if (stream.empty()) std::abort();  // with room to spare it never declines

  if (n <= kLongestCompared) {
    std::vector<uint8_t> literal(roomy);
    literal.resize(LiteralLZ77Encode(input.data(), n, literal.data(), roomy, limit));
    if (literal != stream) std::abort();
  }

  std::vector<uint8_t> back(n);
  const uint32_t produced = LZ77Coder::Decode(stream.data(), static_cast<uint32_t>(stream.size()),
                                              back.data(), n);
  if (produced != n || back != input) std::abort();

  // As the pipeline calls it: declined exactly when the stream would not fit.
  std::vector<uint8_t> tight(n);
  const uint32_t fitted = coder.Encode(input.data(), n, tight.data(), n);
  if ((fitted != 0) != (stream.size() <= n)) std::abort();
  if (fitted != 0 && std::memcmp(tight.data(), stream.data(), fitted) != 0) std::abort();
  return 0;
}
