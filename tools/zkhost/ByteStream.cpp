#include "ByteStream.h"

namespace {
// A step bounds how much one call hands the system, not what is sent.
constexpr size_t kMaxStep = 1u << 20;
}  // namespace

bool ByteStream::SendAll(const uint8_t* data, size_t length, const std::atomic<bool>& cancel) {
  while (length > 0) {
    if (cancel) return false;
    int sent = TrySend(data, length < kMaxStep ? length : kMaxStep);
    if (sent > 0) {
      data += sent;
      length -= static_cast<size_t>(sent);
    } else if (sent == kWouldBlock) {
      WaitWritable(kCancelCheckMs);
    } else {
      return false;
    }
  }
  return true;
}

int ByteStream::Receive(uint8_t* buffer, int capacity, const std::atomic<bool>& cancel) {
  while (!cancel) {
    int received = TryReceive(buffer, static_cast<size_t>(capacity));
    if (received != kWouldBlock) return received >= 0 ? received : -1;
    WaitReadable(kIdleLookMs);
  }
  return -1;
}
