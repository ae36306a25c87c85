#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "events/ProtocolTypes.h"

// How zkhost carries events between machines: each event travels in the
// protocol's own framing, an event header (type and payload size) and the
// payload bytes, back to back on one TCP stream.
//
// Bytes from the network are untrusted: FrameReader refuses a type that
// neither the protocol nor the hosts' token service (ControlTokenMessages.h)
// has and a size beyond what its connection may carry, holds a payload only
// as its bytes arrive (a header alone costs nothing), and tells a stream
// that ended inside a frame from one that ended between frames.
// Portable; one reader per connection, used by one thread.

// A full update of a 4096 x 4096 frame stored raw stays below this.
constexpr uint32_t kMaxFramePayload = 64u << 20;

// A whole frame, header included. Shared read-only by every connection that
// sends it, so that an event going to many viewers is copied once.
using WireFrame = std::shared_ptr<const std::vector<uint8_t>>;

WireFrame MakeWireFrame(uint32_t type, uint32_t size, const uint8_t* payload);

// The frame of a message record, built by its protocol builder.
template <typename Message>
WireFrame MakeMessageFrame(uint32_t type, const Message& message) {
  std::vector<uint8_t> payload(MessageSize(message));
  WriteMessage(payload.data(), message);
  return MakeWireFrame(type, static_cast<uint32_t>(payload.size()), payload.data());
}

struct ReceivedEvent {
  uint32_t type = 0;
  std::vector<uint8_t> payload;
};

class FrameReader {
 public:
  // Frames whose payload is longer than `maxPayload` are malformed.
  explicit FrameReader(uint32_t maxPayload = kMaxFramePayload) : maxPayload_(maxPayload) {}

  // Consumes received bytes; every event completed by them is appended to
  // `out`. False once the stream is malformed: the reader then refuses all
  // further bytes and Error() says why.
  bool Feed(const uint8_t* data, size_t length, std::vector<ReceivedEvent>* out);

  // True when no frame has been started and not finished: a stream closed
  // now ended cleanly.
  bool AtFrameBoundary() const { return !malformed_ && filled_ == 0 && !inPayload_; }
  const std::string& Error() const { return error_; }
  // Memory held for the frame under way.
  size_t HeldBytes() const { return current_.payload.capacity(); }

 private:
  bool TakeHeader();
  // Appends to the current payload, never reserving beyond its announced size.
  size_t TakePayload(const uint8_t* data, size_t length);

  const uint32_t maxPayload_;
  uint8_t header_[kEventHeaderSize] = {};
  size_t filled_ = 0;  // bytes of the header received so far
  uint32_t announced_ = 0;  // payload size of the current frame
  bool inPayload_ = false;
  ReceivedEvent current_;
  bool malformed_ = false;
  std::string error_;
};
