#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "common/AutoResetEvent.h"
#include "common/CriticalSection.h"
#include "events/Event.h"
#include "events/ProtocolMessages.h"

// EventMgr is the mailbox between the library and its host: an outgoing queue
// that the host drains and an incoming queue that the worker dispatches to the
// eight protocol handlers. It also builds the full-update container.
//
// Threads: host threads call WaitForEvents, GetQueuedEvent and PostEvent; the
// worker thread calls QueueEvent, BeginFullUpdate, EndFullUpdate and
// DispatchEvents. One recursive lock guards both queues and the counters; it
// is held while handlers run, and handlers may queue outgoing events.
//
// Ownership: an outgoing payload is a host-memory block (GlobalAlloc on
// Win32) that the host takes over with GetQueuedEvent and frees. Incoming
// payloads are copied; the host keeps its buffer.
//
// Memory: when a copy or a queue node cannot be allocated, QueueEvent and
// PostEvent trace it and return false with both queues as they were; a
// received container is posted whole or not at all. Received containers are
// not trusted (see FullUpdateContainer.h). DispatchEvents parses each event
// once, with its message's parser, and hands the handler the record; an
// event the parser refuses is dropped with a trace.
class EventMgr {
 public:
  EventMgr();
  ~EventMgr();  // not virtual: only ever destroyed as part of ZKWindow
  EventMgr(const EventMgr&) = delete;
  EventMgr& operator=(const EventMgr&) = delete;

  bool CreateSignal();
  bool CloseSignal();

  bool QueueEvent(uint32_t type, uint32_t size, const uint8_t* payload);
  // Builds the payload of a protocol message and queues it as `type`; false,
  // as for QueueEvent, when memory is short.
  template <typename Message>
  bool QueueMessage(uint32_t type, const Message& message) {
    const uint32_t size = MessageSize(message);
    std::unique_ptr<uint8_t[]> payload = NewPayload(size);
    if (!payload) return false;
    WriteMessage(payload.get(), message);
    return QueueEvent(type, size, payload.get());
  }
  bool WaitForEvents(uint32_t timeoutMs);
  bool GetQueuedEvent(Event* out);
  bool PostEvent(const Event* in);
  bool DispatchEvents();
  // A session that ends drops what it has received and not dispatched yet:
  // the pass under way stops at its next event, and later passes deliver
  // nothing, until dispatching is resumed for the next session. A host that
  // posted faster than the worker applied (frames to reallocate, streams to
  // refuse) would otherwise hold the end of the session back by all of it.
  // Any thread.
  void StopDispatching() { dispatchStopped_ = true; }
  void ResumeDispatching() { dispatchStopped_ = false; }

  // A batch that cannot be allocated is not opened (false): messages then go
  // out one by one. EndFullUpdate without an open batch does nothing and
  // returns false.
  bool BeginFullUpdate(uint32_t requestTag);
  bool EndFullUpdate();

  uint32_t GetMaxQueueSize() const { return maxQueueSize_; }
  void SetMaxQueueSize(uint32_t bytes) { maxQueueSize_ = bytes; }
  // Read without the lock by the throttle: a stale value shifts it by one rectangle.
  uint32_t GetQueuedBytes() const;

  // Protocol handlers, in slot order, each given the parsed record of one
  // received event. Pointers in a record point into the payload, which is
  // valid only during the call.
  virtual void OnDisplayFormat(const DisplayFormatMessage& format);
  virtual void OnDisplayUpdate(const DisplayUpdateMessage& update);
  virtual void OnMouseUpdate(const MouseMessage& mouse);
  virtual void OnMousePosition(const MouseMessage& position);
  virtual void OnKeyboardUpdate(const KeyboardMessage& key);
  virtual void OnAnnotation(const AnnotationMessage& annotation);
  virtual void OnAnnotationMode(const AnnotationModeMessage& mode);
  virtual void OnPalette(const PaletteMessage& palette);

 private:
  // A first-in first-out list of events with its length.
  struct Node {
    Event event;
    Node* next;
  };
  struct Queue {
    Node* head = nullptr;
    Node* tail = nullptr;
    uint32_t count = 0;
  };

  // The allocations that may fail; a test gate can refuse any of them.
  enum class Allocation { OUTGOING_PAYLOAD, INCOMING_PAYLOAD, QUEUE_NODE, BATCH };
  using AllocationGate = bool (*)(Allocation what);
  friend class EventMgrTestPeer;
  bool MayAllocate(Allocation what) const { return !allocationGate_ || allocationGate_(what); }

  class IncomingChain;
  // A block to build a payload of `size` bytes in; null, traced, when memory is short.
  std::unique_ptr<uint8_t[]> NewPayload(uint32_t size) const;
  FullUpdateHeader BatchHeader() const;
  bool AppendToBatch(uint32_t type, uint32_t size, const uint8_t* payload);
  void Deliver(const Event& event);
  // False when the payload does not parse as the type's message.
  bool Dispatch(const Event& event);
  template <typename Message>
  bool Handle(const Event& event, void (EventMgr::*handler)(const Message&)) {
    Message message;
    if (!ParseMessage(event.payload, event.size, &message)) return false;
    (this->*handler)(message);
    return true;
  }
  static void Append(Queue& queue, Queue& chain);
  static void FreeOutgoing(Queue& queue);
  static void FreeIncoming(Queue& queue);

  AutoResetEvent signal_;
  Queue outgoing_;
  Queue incoming_;
  CriticalSection lock_;
  bool batching_ = false;
  uint8_t* batch_ = nullptr;  // malloc block laid out as a full-update payload
  uint32_t maxQueueSize_ = 32768;
  std::atomic<uint32_t> queuedBytes_{0};
  std::atomic<bool> dispatchStopped_{false};
  AllocationGate allocationGate_ = nullptr;
};
