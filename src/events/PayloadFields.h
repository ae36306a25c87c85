#pragma once

#include <cstdint>
#include <cstring>

#include "common/ByteOrder.h"

// The field lists of payloads, written once per message and walked three
// ways: by FieldWriter to build a payload, by FieldReader to parse one, and
// by FieldCounter to check at compile time that a list adds up to the size
// the catalogue gives. A list is a generic callable taking (fields, message):
//
//   constexpr auto kLayout = [](auto& fields, auto& m) {
//     fields(m.token);         // a number of the member's width, little-endian
//     fields.Constant(1);      // a byte the sender writes and receivers skip
//     fields(m.length);
//     fields.Bytes(m.data, m.length);  // copied out, or pointed at in the payload
//   };
//
// Portable; used only inside the protocol code of this folder.

// Builds into a buffer that the caller sized with the message's size.
class FieldWriter {
 public:
  explicit FieldWriter(uint8_t* out) : at_(out) {}
  void operator()(uint8_t value) { *at_++ = value; }
  void operator()(uint16_t value) { StoreU16LE(Advance(2), value); }
  void operator()(uint32_t value) { StoreU32LE(Advance(4), value); }
  void operator()(int16_t value) { (*this)(static_cast<uint16_t>(value)); }
  void operator()(int32_t value) { (*this)(static_cast<uint32_t>(value)); }
  void Constant(uint8_t value) { (*this)(value); }
  void Bytes(const uint8_t* bytes, uint32_t count) {
    if (count > 0) std::memcpy(at_, bytes, count);
    at_ += count;
  }
  void Zeros(uint32_t count) { std::memset(Advance(count), 0, count); }

 private:
  uint8_t* Advance(uint32_t count) {
    uint8_t* field = at_;
    at_ += count;
    return field;
  }
  uint8_t* at_;
};

// Reads a received payload of `size` bytes, checking every field against
// what is left: a field that does not fit fails the read, and later fields
// read nothing.
class FieldReader {
 public:
  FieldReader(const uint8_t* payload, uint32_t size) : at_(payload), left_(payload ? size : 0) {}
  void operator()(uint8_t& value) {
    if (const uint8_t* field = Take(1)) value = *field;
  }
  void operator()(uint16_t& value) {
    if (const uint8_t* field = Take(2)) value = LoadU16LE(field);
  }
  void operator()(uint32_t& value) {
    if (const uint8_t* field = Take(4)) value = LoadU32LE(field);
  }
  void operator()(int16_t& value) {
    if (const uint8_t* field = Take(2)) value = static_cast<int16_t>(LoadU16LE(field));
  }
  void operator()(int32_t& value) {
    if (const uint8_t* field = Take(4)) value = static_cast<int32_t>(LoadU32LE(field));
  }
  void Constant(uint8_t) { Take(1); }
  // Points the field at the next `count` bytes of the payload.
  void Bytes(const uint8_t*& field, uint32_t count) { field = Take(count); }
  bool Failed() const { return failed_; }

 private:
  const uint8_t* Take(uint32_t count) {
    if (failed_ || count > left_) {
      failed_ = true;
      return nullptr;
    }
    const uint8_t* field = at_;
    at_ += count;
    left_ -= count;
    return field;
  }
  const uint8_t* at_;
  uint32_t left_;
  bool failed_ = false;
};

class FieldCounter {
 public:
  template <typename Number>
  constexpr void operator()(const Number&) {
    bytes += sizeof(Number);
  }
  constexpr void Constant(uint8_t) { bytes += 1; }
  constexpr void Bytes(const uint8_t*, uint32_t count) { bytes += count; }
  uint32_t bytes = 0;
};

// The payload bytes a field list describes for a value-initialised message
// (variable parts empty).
template <typename Message, typename Layout>
constexpr uint32_t LayoutSize(Layout layout) {
  FieldCounter counter;
  Message message{};
  layout(counter, message);
  return counter.bytes;
}

template <typename Message, typename Layout>
void WriteFields(uint8_t* out, const Message& message, Layout layout) {
  FieldWriter fields(out);
  layout(fields, message);
}

// Leaves `out` untouched unless every field could be read.
template <typename Message, typename Layout>
bool ParseFields(const uint8_t* payload, uint32_t size, Message* out, Layout layout) {
  FieldReader fields(payload, size);
  Message message{};
  layout(fields, message);
  if (fields.Failed()) return false;
  *out = message;
  return true;
}
