// Feeds a stream of received events to one ViewerModel, as a viewer's host
// would hand them in: each event is a type byte, a 16-bit little-endian
// payload size and that many bytes (the last event gets what is left). After
// every event the model must describe a picture that lies wholly in memory
// it owns, and report only rectangles inside it.
#include <cstdint>
#include <cstdlib>

#include "common/ByteOrder.h"
#include "events/ProtocolMessages.h"
#include "frames/PictureBounds.h"
#include "frames/ViewerModel.h"

namespace {

// Reads every byte of the picture, so that a view reaching past the buffer
// shows as an out-of-bounds read.
void CheckPicture(const ViewerModel& model) {
  const PictureView view = model.Picture();
  if (view.width < 0 || view.height < 0 || view.width % 4 != 0) std::abort();
  const size_t bytes = static_cast<size_t>(view.width) * view.height * 3;
  if (bytes > 0 && !view.pixels) std::abort();
  volatile uint8_t sum = 0;
  for (size_t i = 0; i < bytes; i += 61) sum = sum + view.pixels[i];
  if (bytes > 0) sum = sum + view.pixels[bytes - 1];
}

void CheckChanges(ViewerModel& model) {
  const PictureView view = model.Picture();
  const Rect bounds{0, 0, view.width, view.height};
  for (const Rect& r : model.TakeChanges().picture)
    if (r.IsEmpty() || Intersect(r, bounds) != r) std::abort();
}

// Pictures the fuzzer would fill by the hundred megabytes slow it down
// without reaching new code: formats within the memory bound but beyond a
// megapixel are left out. Those beyond the bound still go in.
bool WorthFeeding(uint32_t type, const uint8_t* payload, uint32_t size) {
  DisplayFormatMessage format;
  if (type != ZKP_DISPLAYFORMAT || !ParseMessage(payload, size, &format)) return true;
  return !PictureFitsInMemory(format.width, format.height) ||
         uint32_t{format.width} * format.height <= (1u << 20);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ViewerModel model;
  while (size >= 3) {
    const uint32_t type = data[0] % 16;
    const uint32_t claimed = LoadU16LE(data + 1);
    data += 3;
    size -= 3;
    const uint32_t n = claimed < size ? claimed : static_cast<uint32_t>(size);
    if (WorthFeeding(type, data, n)) model.Receive(type, n > 0 ? data : nullptr, n);
    CheckPicture(model);
    CheckChanges(model);
    data += n;
    size -= n;
  }
  return 0;
}
