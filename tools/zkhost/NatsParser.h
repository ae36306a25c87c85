#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "NatsServerInfo.h"

// One message a subscription received, as the server delivered it. The
// views point into the parser and last until the call that handed them out
// returns.
struct NatsDelivery {
  std::string_view subject;
  std::string_view replyTo;  // empty when the publisher gave none
  uint64_t sid = 0;
  const uint8_t* data = nullptr;
  size_t length = 0;
};

// Receives what NatsParser read, in stream order, on the thread that feeds it.
class NatsParserSink {
 public:
  virtual ~NatsParserSink() = default;
  virtual void OnInfo(const NatsServerInfo& info) = 0;
  virtual void OnMessage(const NatsDelivery& message) = 0;
  virtual void OnPing() = 0;
  virtual void OnPong() = 0;
  virtual void OnServerError(std::string_view text) = 0;
};

// NatsParser: the server-to-client side of the NATS protocol (INFO, MSG,
// PING, PONG, +OK, -ERR), a state machine over bytes as they arrive, so that
// any split of the stream parses the same. Every byte is the server's and
// untrusted: a control line is bounded (INFO more loosely, as it lists the
// cluster), a payload by what the server itself announced and by a cap of
// our own, numbers are checked for overflow, and headers (HMSG), which the
// client never asks for, are refused. The first violation fails the parser
// for good: Feed returns false from then on and Error says why.
//
// Owned by one connection; fed by one thread at a time.
class NatsParser {
 public:
  // A control line other than INFO: a MSG line names a subject, a sid, a
  // reply subject and a count, far below this.
  static constexpr size_t kMaxLine = 4096;
  // INFO lists every cluster member's client address (some 25 bytes each)
  // beside a few hundred bytes of fixed fields: 64 KiB is room for well over
  // a thousand members, and bounds what a hostile server can make us hold.
  static constexpr size_t kMaxInfoLine = 64 * 1024;
  // The most a payload may be whatever the server announces: a server
  // allows at most 64 MiB; a session's events are far smaller.
  static constexpr size_t kPayloadCap = 16 * 1024 * 1024;
  // What a server that announces nothing allows by default.
  static constexpr size_t kDefaultMaxPayload = 1024 * 1024;

  explicit NatsParser(NatsParserSink& sink) : sink_(sink) {}

  bool Feed(const uint8_t* data, size_t length);
  bool Failed() const { return !error_.empty(); }
  const std::string& Error() const { return error_; }
  // The largest payload accepted: the last INFO's max_payload within the cap.
  size_t PayloadLimit() const { return payloadLimit_; }
  static size_t PayloadLimitFor(const NatsServerInfo& info);

 private:
  enum class State { kLine, kPayload, kPayloadEnd };

  size_t FeedLine(const uint8_t* data, size_t length);
  size_t FeedPayload(const uint8_t* data, size_t length);
  size_t FeedPayloadEnd(const uint8_t* data, size_t length);
  bool LineTooLong() const;
  void ReadLine();
  void ReadInfo(std::string_view arguments);
  void ReadMessage(std::string_view arguments);
  void Fail(std::string why);

  NatsParserSink& sink_;
  State state_ = State::kLine;
  std::string line_;
  size_t payloadLimit_ = 0;  // nothing before the server's INFO
  // The MSG being read: its line's fields and the payload so far.
  std::string subject_;
  std::string replyTo_;
  uint64_t sid_ = 0;
  size_t payloadLength_ = 0;
  std::vector<uint8_t> payload_;
  size_t endSeen_ = 0;  // bytes of the "\r\n" after the payload
  std::string error_;
};
