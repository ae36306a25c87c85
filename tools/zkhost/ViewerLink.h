#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "EventFraming.h"
#include "ByteStream.h"

// ViewerLink: the presenter's connection to one viewer. It holds the frames
// waiting to go to that viewer and sends them on its own thread, so a slow
// viewer never holds up the presenter or the other viewers; a second thread
// reads what the viewer sends and hands each event to the host. Answers to
// the viewer's own requests go ahead of the stream and are never held back.
//
// A viewer must start from a full update: until the container answering its
// request tag arrives, ordinary events are not queued for it. When its
// backlog (answers included) passes the bound, the stream's part is dropped
// and it waits for a new full update (the host asks for one).
//
// What the viewer sends is held to PeerLimits.h: a frame longer than any a
// viewer produces, events faster than any person makes them, or answers
// left unread past their bound cut the viewer off.
//
// Threads: the host's drain thread calls Offer*, AwaitFullUpdate and the
// getters; the link's own two threads send and receive. Close may be called
// from any thread but the link's own.
class ViewerLink {
 public:
  using EventSink =
      std::function<void(ViewerLink& from, uint32_t type, const std::vector<uint8_t>& payload)>;

  // The stream is an admitted viewer's (ViewerAdmission.h); `name` is the
  // one it gave, `address` where it connected from.
  ViewerLink(std::unique_ptr<ByteStream> stream, uint32_t id, std::string name,
             std::string address, size_t backlogBound, EventSink sink);
  ~ViewerLink();
  ViewerLink(const ViewerLink&) = delete;
  ViewerLink& operator=(const ViewerLink&) = delete;

  void Start();

  // Drops whatever waits to be sent and holds back ordinary events until the
  // container with this tag.
  void AwaitFullUpdate(uint32_t tag);
  // True when this link was waiting for the container's tag: it is queued and
  // the ordinary stream follows from here on.
  bool OfferContainer(uint32_t tag, const WireFrame& frame);
  enum class Offer { kQueued, kHeldBack, kOverflow };
  // kOverflow: the backlog passed the bound and was dropped; the link now
  // needs a full update.
  Offer OfferEvent(const WireFrame& frame);
  // Queues a frame meant for this viewer alone (the token service's answers),
  // ahead of the stream, whether or not it waits for a full update. Any
  // thread but the link's sender.
  void Answer(const WireFrame& frame);

  // Ends the link for a reason of the host's (a rule the viewer broke); the
  // host reaps it as any closed link. Any thread.
  void CutOff(const std::string& reason) { Fail(reason); }
  // Stops both threads and closes the socket.
  void Close();
  bool IsClosed() const { return closed_; }
  std::string CloseReason() const;
  uint32_t Id() const { return id_; }
  const std::string& Name() const { return name_; }
  const std::string& Address() const { return address_; }
  uint64_t BytesSent() const { return bytesSent_; }

 private:
  void SendLoop();
  void ReceiveLoop();
  void Fail(const std::string& reason);
  void FailLocked(const std::string& reason);  // under mutex_
  void DropBacklog();

  std::unique_ptr<ByteStream> stream_;
  const uint32_t id_;
  const std::string name_;
  const std::string address_;
  const size_t backlogBound_;
  EventSink sink_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<WireFrame> backlog_;
  std::deque<WireFrame> answers_;
  size_t backlogBytes_ = 0;
  size_t answerBytes_ = 0;
  uint32_t awaitedTag_ = 0;  // 0: live, receiving the ordinary stream
  std::string closeReason_;

  std::atomic<bool> closed_{false};
  std::atomic<uint64_t> bytesSent_{0};
  std::thread sender_;
  std::thread receiver_;
};
