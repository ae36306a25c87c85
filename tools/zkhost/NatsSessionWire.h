#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// How a session travels through NATS servers. The presenter publishes each
// event once on the session's event subject; the servers fan it out. Each
// NATS message carries a small header of ours ahead of zkhost's own link
// frames (EventFraming.h), so that a viewer can tell which broadcasts came
// after the full update it joins with, and put back together what had to be
// split to fit the server's max_payload.
//
// Subjects of session S (the name is a single NATS token):
//   zk.S.events      the presenter's broadcast, in order (kBroadcast, kEnd)
//   zk.S.welcome     full updates for joiners only (kContainer)
//   zk.S.join        a viewer asks for a full update: "ID NAME"
//   zk.S.viewer.ID   frames for one viewer (kAnswer): grants, cancels
//   zk.S.up.ID       frames from one viewer; an empty message says it left
// ID is what the viewer calls itself: 16 lowercase hex digits.
//
// Portable, no state but the joiner's; a joiner is used by one thread.

enum class NatsPieceKind : uint8_t { kBroadcast = 1, kContainer = 2, kAnswer = 3, kEnd = 4 };

struct NatsPieceHeader {
  NatsPieceKind kind = NatsPieceKind::kBroadcast;
  uint16_t index = 0;  // of the piece within its message
  uint16_t count = 1;  // pieces the message was split into
  // kBroadcast: the message's number, one more than the one before.
  // kContainer: the number of the last broadcast before the full update.
  uint64_t sequence = 0;
  // kBroadcast: the viewer (its ID's value) that must not apply it, for a
  // mark relayed from that viewer; 0 for none.
  uint64_t except = 0;
};

constexpr size_t kNatsPieceHeaderSize = 24;

// A message's body after splitting, ahead of which the same header goes with
// each piece's index and count. `maxPayload` is the server's; pieces beyond
// 65535 are not possible (the caller refuses such a message).
std::vector<std::vector<uint8_t>> SplitNatsMessage(NatsPieceHeader header, const uint8_t* body,
                                                   size_t length, size_t maxPayload);
// False for a message too short or of an unknown kind.
bool ParseNatsPiece(const uint8_t* data, size_t length, NatsPieceHeader* header);

// Joins the pieces of one subject's messages again. Pieces of a message
// arrive in order and are not interleaved with another's (one publisher per
// subject); anything else is a lost piece, and the message is dropped.
class NatsPieceJoiner {
 public:
  explicit NatsPieceJoiner(size_t maxMessage) : maxMessage_(maxMessage) {}
  enum class Result { kPartial, kComplete, kDropped };
  // On kComplete, `message` holds the whole body and `header` the first
  // piece's header.
  Result Feed(const NatsPieceHeader& header, const uint8_t* body, size_t length,
              NatsPieceHeader* whole, std::vector<uint8_t>* message);
  void Reset();

 private:
  const size_t maxMessage_;
  std::vector<uint8_t> body_;
  NatsPieceHeader first_;
  uint16_t next_ = 0;  // the index expected; 0: none under way
};

struct NatsSessionSubjects {
  std::string events, welcome, join, upAll;
  std::string ViewerSubject(std::string_view id) const;
  std::string UpSubject(std::string_view id) const;
  std::string prefix;
};
// False for a session name that is not a single NATS token of letters,
// digits, '-' and '_' (at most 64).
bool MakeSessionSubjects(const std::string& session, NatsSessionSubjects* subjects);

// True for 16 lowercase hex digits; `value` is their number.
bool ParseViewerId(std::string_view id, uint64_t* value);
std::string FormatViewerId(uint64_t value);
