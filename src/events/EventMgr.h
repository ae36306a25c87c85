#pragma once

#include <cstdint>

#include "common/CriticalSection.h"
#include "events/Event.h"

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
class EventMgr {
 public:
  EventMgr();
  ~EventMgr();  // not virtual: only ever destroyed as part of ZKWindow
  EventMgr(const EventMgr&) = delete;
  EventMgr& operator=(const EventMgr&) = delete;

  bool CreateSignal();
  bool CloseSignal();

  bool QueueEvent(uint32_t type, uint32_t size, const uint8_t* payload);
  bool WaitForEvents(uint32_t timeoutMs);
  bool GetQueuedEvent(Event* out);
  bool PostEvent(const Event* in);
  bool DispatchEvents();

  bool BeginFullUpdate(uint32_t requestTag);
  bool EndFullUpdate();

  uint32_t GetMaxQueueSize() const { return maxQueueSize_; }
  void SetMaxQueueSize(uint32_t bytes) { maxQueueSize_ = bytes; }
  // Read without the lock by the throttle: a stale value shifts it by one rectangle.
  uint32_t GetQueuedBytes() const;

  // Protocol handlers, in slot order. Each receives the payload and its size;
  // the payload is valid only during the call. Received bytes are untrusted:
  // a handler checks the size its type requires before reading.
  virtual void OnDisplayFormat(const uint8_t* payload, uint32_t size);
  virtual void OnDisplayUpdate(const uint8_t* payload, uint32_t size);
  virtual void OnMouseUpdate(const uint8_t* payload, uint32_t size);
  virtual void OnMousePosition(const uint8_t* payload, uint32_t size);
  virtual void OnKeyboardUpdate(const uint8_t* payload, uint32_t size);
  virtual void OnAnnotation(const Event& event);
  virtual void OnAnnotationMode(const uint8_t* payload, uint32_t size);
  virtual void OnPalette(const uint8_t* payload, uint32_t size);

 private:
  // The helper that owns events/ fills in the private members.
};
