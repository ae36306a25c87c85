#include "NatsSessionWire.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {
void Put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}
void Put64(uint8_t* at, uint64_t value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}
uint16_t Get16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }
uint64_t Get64(const uint8_t* at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | at[i];
  return value;
}
constexpr size_t kMaxSessionName = 64;
}  // namespace

std::vector<std::vector<uint8_t>> SplitNatsMessage(NatsPieceHeader header, const uint8_t* body,
                                                   size_t length, size_t maxPayload) {
  std::vector<std::vector<uint8_t>> pieces;
  if (maxPayload <= kNatsPieceHeaderSize) return pieces;
  const size_t room = maxPayload - kNatsPieceHeaderSize;
  const size_t count = std::max<size_t>(1, (length + room - 1) / room);
  if (count > 0xFFFF) return pieces;
  header.count = static_cast<uint16_t>(count);
  for (size_t i = 0; i < count; ++i) {
    const size_t offset = i * room;
    const size_t size = std::min(room, length - std::min(length, offset));
    std::vector<uint8_t> piece(kNatsPieceHeaderSize + size, 0);
    piece[0] = static_cast<uint8_t>(header.kind);
    Put16(&piece[2], static_cast<uint16_t>(i));
    Put16(&piece[4], header.count);
    Put64(&piece[8], header.sequence);
    Put64(&piece[16], header.except);
    if (size) std::memcpy(&piece[kNatsPieceHeaderSize], body + offset, size);
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

bool ParseNatsPiece(const uint8_t* data, size_t length, NatsPieceHeader* header) {
  if (length < kNatsPieceHeaderSize) return false;
  if (data[0] < uint8_t(NatsPieceKind::kBroadcast) || data[0] > uint8_t(NatsPieceKind::kEnd))
    return false;
  header->kind = static_cast<NatsPieceKind>(data[0]);
  header->index = Get16(data + 2);
  header->count = Get16(data + 4);
  header->sequence = Get64(data + 8);
  header->except = Get64(data + 16);
  return header->count > 0 && header->index < header->count;
}

NatsPieceJoiner::Result NatsPieceJoiner::Feed(const NatsPieceHeader& header, const uint8_t* body,
                                              size_t length, NatsPieceHeader* whole,
                                              std::vector<uint8_t>* message) {
  if (header.index == 0) {
    // A new message: one under way lost its end, which the caller learns
    // from the sequence numbers that follow.
    Reset();
    first_ = header;
  } else if (next_ != header.index || header.count != first_.count ||
             header.sequence != first_.sequence || header.kind != first_.kind) {
    Reset();
    return Result::kDropped;
  }
  if (body_.size() + length > maxMessage_) {
    Reset();
    return Result::kDropped;
  }
  body_.insert(body_.end(), body, body + length);
  next_ = static_cast<uint16_t>(header.index + 1);
  if (next_ < first_.count) return Result::kPartial;
  *whole = first_;
  whole->index = 0;
  message->swap(body_);
  Reset();
  return Result::kComplete;
}

void NatsPieceJoiner::Reset() {
  body_.clear();
  body_.shrink_to_fit();
  next_ = 0;
}

std::string NatsSessionSubjects::ViewerSubject(std::string_view id) const {
  return prefix + "viewer." + std::string(id);
}

std::string NatsSessionSubjects::UpSubject(std::string_view id) const {
  return prefix + "up." + std::string(id);
}

bool MakeSessionSubjects(const std::string& session, NatsSessionSubjects* subjects) {
  if (session.empty() || session.size() > kMaxSessionName) return false;
  for (char c : session)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
  subjects->prefix = "zk." + session + ".";
  subjects->events = subjects->prefix + "events";
  subjects->welcome = subjects->prefix + "welcome";
  subjects->join = subjects->prefix + "join";
  subjects->upAll = subjects->prefix + "up.*";
  return true;
}

bool ParseViewerId(std::string_view id, uint64_t* value) {
  if (id.size() != 16) return false;
  uint64_t number = 0;
  for (char c : id) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else return false;
    number = number << 4 | static_cast<uint64_t>(digit);
  }
  *value = number;
  return true;
}

std::string FormatViewerId(uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string id(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) id[i] = kDigits[value & 15];
  return id;
}
