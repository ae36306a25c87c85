#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ByteStream.h"
#include "EventFraming.h"
#include "NatsConnection.h"
#include "NatsSessionWire.h"

// What a joiner may hold: broadcasts buffered until its full update arrives,
// and frames received but not yet read. Past either the joiner drops them
// and asks again, so a viewer that falls behind costs only itself.
constexpr size_t kMaxJoinerBufferBytes = 32u << 20;
constexpr size_t kMaxUnreadBytes = 64u << 20;
// A message put back together from pieces: a full update of the largest
// frame, and its pointer.
constexpr size_t kMaxJoinedMessage = kMaxFramePayload + 4096;
// A viewer that has no picture this long after asking asks again (its
// request, or the answer, was lost).
constexpr std::chrono::milliseconds kJoinRetry{3000};

// NatsSessionStream: a viewer's side of a session through NATS servers, as
// the byte stream a direct link would be (ByteStream.h), so that zkhost view
// and zkview follow it unchanged. It subscribes to the session's broadcast,
// to the full updates for joiners and to its own subject, asks to join, and
// buffers broadcasts until a full update arrives (listening to the joiners'
// subject only until then); then it hands on the full
// update and the broadcasts numbered after it, in order. A gap in the
// numbers (the server cut this viewer off as a slow consumer, or it lost
// its server and reconnected) makes it ask again. What the viewer sends goes
// to the presenter on the viewer's own subject, whole frames per message.
//
// Threads: the connection's reading thread delivers; one thread receives
// (TryReceive, WaitReadable) while another may send (TrySend). Close from
// the owner's thread when neither does.
class NatsSessionStream : public ByteStream {
 public:
  NatsSessionStream(NatsOptions options, const NatsSessionSubjects& subjects, std::string name);
  ~NatsSessionStream() override;

  // Connects and asks to join: false, with `error` (and the last server's
  // refusal, such as wrong credentials), when none let it in within `wait`.
  bool Start(std::chrono::milliseconds wait, std::string* error);
  const std::string& Id() const { return id_; }
  uint64_t JoinsAsked() const;
  // Every byte the servers delivered to this viewer, headers included.
  uint64_t BytesReceived() const { return bytesReceived_; }

  int TrySend(const uint8_t* data, size_t length) override;
  int TryReceive(uint8_t* buffer, size_t capacity) override;
  bool WaitReadable(int timeoutMs) override;
  bool WaitWritable(int) override { return true; }
  void Interrupt() override;
  void Close() override;

 private:
  enum class State { kWaiting, kLive, kEnded };
  void OnMessage(const NatsDelivery& message);
  void OnStatus(const NatsStatus& status);
  // Under mutex_.
  void TakeBroadcast(const NatsPieceHeader& header, std::vector<uint8_t> body);
  void TakeContainer(const NatsPieceHeader& header, std::vector<uint8_t> body);
  void Queue(std::vector<uint8_t> frames);
  void AskAgain();
  void Ask();

  const NatsSessionSubjects subjects_;
  const std::string name_;
  std::string id_;
  uint64_t idValue_ = 0;
  std::unique_ptr<NatsConnection> connection_;
  std::atomic<uint64_t> bytesReceived_{0};

  mutable std::mutex mutex_;
  std::condition_variable readable_;
  State state_ = State::kWaiting;
  bool interrupted_ = false;
  bool everConnected_ = false;
  std::string lastFailure_;  // the servers' last refusal, for the caller's error
  std::chrono::steady_clock::time_point asked_;
  uint64_t joinsAsked_ = 0;
  // The joiners' subject is heard only while waiting for a full update: a
  // live viewer is not sent the others' (0: not subscribed).
  uint64_t welcomeSid_ = 0;
  uint64_t expected_ = 0;  // the next broadcast's number, when live
  NatsPieceJoiner events_{kMaxJoinedMessage};
  NatsPieceJoiner welcome_{kMaxJoinedMessage};
  std::deque<std::pair<uint64_t, std::vector<uint8_t>>> buffered_;
  size_t bufferedBytes_ = 0;
  std::deque<std::vector<uint8_t>> unread_;
  size_t unreadOffset_ = 0;  // into unread_.front()
  size_t unreadBytes_ = 0;

  // The sending thread's own: what it sent that is not yet a whole frame.
  std::vector<uint8_t> outgoing_;
};

// The stream of session `session` through the servers of `urls` (a comma-
// separated list), started: null, with `error` saying why, for a list or a
// name that does not parse or when no server answered within `seconds`.
std::unique_ptr<NatsSessionStream> JoinNatsSession(const std::string& urls, const std::string& session,
                                                   const std::string& name, double seconds,
                                                   std::string* error);
