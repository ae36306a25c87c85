#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "EventFraming.h"
#include "NatsConnection.h"
#include "NatsSessionWire.h"
#include "RateBound.h"

// Join requests that arrive this close together are answered by one full
// update: a crowd that joins at once costs the presenter one compression.
constexpr std::chrono::milliseconds kJoinBatchWindow{150};
// A full update asked for and never delivered (the library dropped the
// request) no longer holds the next batch back after this.
constexpr std::chrono::milliseconds kContainerWait{5000};

struct NatsViewerInfo {
  uint32_t number;
  std::string name;
  std::string id;
};

// NatsAudience: the presenter's viewers behind NATS servers. Each broadcast
// is published once, numbered, on the session's event subject, and the
// servers fan it out. Join requests are gathered into batches; a batch asks
// the library for one full update, which is published once on the subject
// only joiners listen to, with the number of the last broadcast before it.
// Answers for one viewer go to that viewer's subject. What viewers send
// arrives on their own subjects and is held to PeerLimits.h per viewer:
// whole frames no longer than a viewer's, at a person's rate; one that
// breaks a bound is cut off (its messages ignored). Viewers are numbered
// from the host's own count, so that commands name them as direct ones.
//
// Owned by PresenterHost. Threads: the connection's reading thread calls
// the event sink (never under this class's lock) and the number source
// (under it: the host calls nothing here while it holds its own);
// the rest from any (a relayed mark is broadcast from a receiving thread).
class NatsAudience {
 public:
  using EventSink = std::function<void(uint32_t viewer, uint32_t type, const std::vector<uint8_t>& payload)>;
  using NumberSource = std::function<uint32_t()>;

  NatsAudience(NatsOptions options, const NatsSessionSubjects& subjects, NumberSource numbers,
               EventSink sink);
  ~NatsAudience();

  bool Start(std::chrono::milliseconds wait, std::string* error);
  // Tells every viewer the session ended, then disconnects.
  void Stop();

  // Every viewer but `except` (a viewer number; 0: none) applies it.
  void Broadcast(const WireFrame& frame, uint32_t except = 0);
  // The tag to ask the library's full update with when a batch of joiners
  // waits for one, else 0. Its tags have a high half of 0, which names no
  // direct viewer.
  uint32_t TakeJoinBatch();
  bool Awaits(uint32_t tag) const;
  // The full update with the awaited tag, followed by what joiners would
  // not otherwise get (the pointer): published once for every joiner.
  void PublishContainer(const std::vector<WireFrame>& frames);
  // False when no such viewer is known.
  bool SendTo(uint32_t viewer, const WireFrame& frame);
  bool Knows(uint32_t viewer) const;
  std::string NameOf(uint32_t viewer) const;
  std::vector<NatsViewerInfo> Viewers() const;
  // Viewers that left, were cut off or forgotten since the last call.
  std::vector<uint32_t> TakeLeavers();
  uint64_t BytesPublished() const { return bytesPublished_; }
  uint64_t ContainersPublished() const { return containers_; }
  // Ids heard from, forgotten ones included.
  uint64_t ViewersSeen() const { return seen_; }
  uint64_t CutOffs() const;

 private:
  struct Viewer {
    uint32_t number;
    std::string id;
    uint64_t idValue;
    std::string name;
    RateBound rate;
    std::chrono::steady_clock::time_point heard;
  };
  using Clock = std::chrono::steady_clock;

  void OnMessage(const NatsDelivery& message);
  void OnJoin(const uint8_t* data, size_t length);
  void OnUp(std::string_view id, const uint8_t* data, size_t length);
  // Under mutex_: the viewer of this id, made if new (null when cut off).
  Viewer* Find(std::string_view id, uint64_t value);
  void CutOff(std::map<std::string, Viewer>::iterator viewer);
  void Forget(std::map<std::string, Viewer>::iterator viewer);
  // Publishes a message in as many pieces as the server's max_payload wants.
  bool PublishPieces(const std::string& subject, const NatsPieceHeader& header,
                     const uint8_t* body, size_t length);

  const NatsSessionSubjects subjects_;
  const NumberSource numbers_;
  const EventSink sink_;
  std::unique_ptr<NatsConnection> connection_;
  std::atomic<uint64_t> bytesPublished_{0};
  std::atomic<uint64_t> containers_{0};
  std::atomic<uint64_t> seen_{0};
  std::atomic<bool> stopped_{false};

  // Numbers broadcasts in the order they are published: the drain thread
  // and the relay of a viewer's mark both broadcast.
  std::mutex publishMutex_;
  uint64_t sequence_ = 0;  // of the last broadcast

  mutable std::mutex mutex_;
  std::map<std::string, Viewer> viewers_;
  std::deque<std::string> cutOff_;
  uint64_t cutOffs_ = 0;
  std::vector<uint32_t> leavers_;
  std::string lastFailure_;  // the servers' last refusal, for Start's error
  // Joins not yet answered, by when the first of them came.
  bool joinsWaiting_ = false;
  Clock::time_point firstJoin_;
  uint32_t awaitedTag_ = 0;
  uint32_t tags_ = 0;
  Clock::time_point asked_;
};
