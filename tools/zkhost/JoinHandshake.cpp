#include "JoinHandshake.h"

#include <algorithm>

#include "EventFraming.h"
#include "JoinProof.h"
#include "SystemRandom.h"

namespace {
using Clock = std::chrono::steady_clock;

// The longest frame of the exchange: a join with the longest name.
constexpr uint32_t kLongestJoinFrame = kJoinOverhead + kMaxViewerNameSize;

bool Stopped(const JoinLimits& limits) { return *limits.cancel || Clock::now() >= limits.deadline; }

int WaitMs(const JoinLimits& limits) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limits.deadline - Clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, ByteStream::kHandshakeCheckMs));
}

bool ReadExactly(ByteStream& stream, uint8_t* buffer, size_t length, const JoinLimits& limits) {
  while (length > 0) {
    if (Stopped(limits)) return false;
    int received = stream.TryReceive(buffer, length);
    if (received == ByteStream::kWouldBlock) {
      stream.WaitReadable(WaitMs(limits));
      continue;
    }
    if (received <= 0) return false;
    buffer += received;
    length -= static_cast<size_t>(received);
  }
  return true;
}

bool ReadFrame(ByteStream& stream, const JoinLimits& limits, ReceivedEvent* frame,
               std::string* error) {
  uint8_t header[kEventHeaderSize];
  EventHeader parsed;
  if (!ReadExactly(stream, header, sizeof header, limits)) {
    *error = Stopped(limits) ? "no answer in time" : "the connection ended";
    return false;
  }
  ParseMessage(header, sizeof header, &parsed);
  if (parsed.size > kLongestJoinFrame) {
    *error = "a frame of " + std::to_string(parsed.size) + " bytes where a join was due";
    return false;
  }
  frame->type = parsed.type;
  frame->payload.resize(parsed.size);
  if (!ReadExactly(stream, frame->payload.data(), parsed.size, limits)) {
    *error = "the connection ended inside a frame";
    return false;
  }
  return true;
}

template <typename Message>
bool Send(ByteStream& stream, uint32_t type, const Message& message, const JoinLimits& limits) {
  WireFrame frame = MakeMessageFrame(type, message);
  return stream.SendAll(frame->data(), frame->size(), *limits.cancel);
}

template <typename Message>
bool ParseExactly(const ReceivedEvent& frame, Message* message) {
  const uint32_t size = static_cast<uint32_t>(frame.payload.size());
  return ParseMessage(frame.payload.data(), size, message) && MessageSize(*message) == size;
}

std::string Printable(const uint8_t* bytes, size_t length) {
  std::string text(bytes, bytes + length);
  for (char& c : text)
    if (c < 0x20 || c > 0x7E) c = '?';
  return text;
}
}  // namespace

JoinVerdict ChallengeViewer(ByteStream& stream, const std::string& key, const JoinLimits& limits,
                            std::string* name, std::string* error) {
  JoinNonce nonce;
  if (!FillSystemRandom(nonce.data(), nonce.size())) {
    *error = "no random numbers for the challenge";
    return JoinVerdict::kBroken;
  }
  if (!Send(stream, ZKH_CHALLENGE, ChallengeMessage{kJoinVersion, nonce.data()}, limits)) {
    *error = "the challenge could not be sent";
    return JoinVerdict::kBroken;
  }
  ReceivedEvent frame;
  if (!ReadFrame(stream, limits, &frame, error)) return JoinVerdict::kBroken;
  JoinMessage join;
  if (frame.type != ZKH_JOIN || !ParseExactly(frame, &join)) {
    *error = "something other than a join came";
    return JoinVerdict::kBroken;
  }
  if (join.version != kJoinVersion) return JoinVerdict::kOtherVersion;
  if (!IsJoinProof(key, nonce, join.proof)) return JoinVerdict::kWrongKey;
  *name = Printable(join.name, join.nameLength);
  return JoinVerdict::kProved;
}

bool WelcomeViewer(ByteStream& stream, uint32_t viewer, const JoinLimits& limits) {
  return Send(stream, ZKH_WELCOME, WelcomeMessage{viewer}, limits);
}

void RefuseViewer(ByteStream& stream, JoinRefusal reason, const JoinLimits& limits) {
  Send(stream, ZKH_REFUSED, RefusedMessage{static_cast<uint8_t>(reason)}, limits);
}

bool JoinPresenter(ByteStream& stream, const std::string& key, const std::string& name,
                   const JoinLimits& limits, uint32_t* viewer, std::string* error) {
  ReceivedEvent frame;
  if (!ReadFrame(stream, limits, &frame, error)) return false;
  ChallengeMessage challenge;
  if (frame.type == ZKH_REFUSED) {
    RefusedMessage refused;
    *error = ParseExactly(frame, &refused) ? DescribeRefusal(refused.reason) : "refused";
    return false;
  }
  if (frame.type != ZKH_CHALLENGE || !ParseExactly(frame, &challenge)) {
    *error = "the presenter did not challenge this viewer as expected";
    return false;
  }
  if (challenge.version != kJoinVersion) {
    *error = "the presenter speaks another version (" + std::to_string(challenge.version) + ")";
    return false;
  }
  JoinNonce nonce;
  std::copy(challenge.nonce, challenge.nonce + nonce.size(), nonce.begin());
  const JoinProof proof = ProveJoinKey(key, nonce);
  const std::string shown = name.substr(0, kMaxViewerNameSize);
  const JoinMessage join = {kJoinVersion, proof.data(), static_cast<uint8_t>(shown.size()),
                            reinterpret_cast<const uint8_t*>(shown.data())};
  if (!Send(stream, ZKH_JOIN, join, limits)) {
    *error = "the join could not be sent";
    return false;
  }
  if (!ReadFrame(stream, limits, &frame, error)) return false;
  WelcomeMessage welcome;
  RefusedMessage refused;
  if (frame.type == ZKH_WELCOME && ParseExactly(frame, &welcome)) {
    *viewer = welcome.viewer;
    return true;
  }
  *error = frame.type == ZKH_REFUSED && ParseExactly(frame, &refused)
               ? DescribeRefusal(refused.reason)
               : "the presenter answered the join with something else";
  return false;
}

std::string DescribeRefusal(uint8_t reason) {
  switch (static_cast<JoinRefusal>(reason)) {
    case JoinRefusal::kWrongKey:
      return "the presenter refused the join key: check the invitation";
    case JoinRefusal::kVersion:
      return "the presenter runs another version of zkhost";
    case JoinRefusal::kTooManyAttempts:
      return "too many wrong keys came from this address: try again later";
    case JoinRefusal::kFull:
      return "the presenter serves as many viewers as it can";
  }
  return "the presenter refused this viewer (reason " + std::to_string(reason) + ")";
}
