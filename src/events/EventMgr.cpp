#include "events/EventMgr.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "common/HostMemory.h"
#include "common/Trace.h"
#include "events/FullUpdateContainer.h"
#include "events/ProtocolMessages.h"

// Copies of received events, gathered before any of them is linked into the
// incoming queue, so that a container whose copy runs out of memory part-way
// leaves the queue exactly as it was. Lives for one PostEvent call.
class EventMgr::IncomingChain final : public ContainerRecordSink {
 public:
  explicit IncomingChain(const EventMgr& owner) : owner_(owner) {}
  ~IncomingChain() { FreeIncoming(events); }
  IncomingChain(const IncomingChain&) = delete;
  IncomingChain& operator=(const IncomingChain&) = delete;

  bool OnRecord(uint32_t type, uint32_t size, const uint8_t* payload) override {
    return Add(type, size, payload);
  }

  bool Add(uint32_t type, uint32_t size, const uint8_t* payload) {
    uint8_t* copy = nullptr;
    if (size > 0) {
      copy = owner_.MayAllocate(Allocation::INCOMING_PAYLOAD)
                 ? static_cast<uint8_t*>(std::malloc(size))
                 : nullptr;
      if (!copy) {
        Trace(TRACE_WARNING, "\r\nPostEvent: no memory for %u payload bytes", size);
        return false;
      }
      std::memcpy(copy, payload, size);
    }
    Node* node = owner_.MayAllocate(Allocation::QUEUE_NODE)
                     ? new (std::nothrow) Node{Event{type, size, copy}, nullptr}
                     : nullptr;
    if (!node) {
      std::free(copy);
      Trace(TRACE_WARNING, "\r\nPostEvent: no memory for a queue node");
      return false;
    }
    Queue one{node, node, 1};
    Append(events, one);
    return true;
  }

  Queue events;

 private:
  const EventMgr& owner_;
};

EventMgr::EventMgr() = default;

EventMgr::~EventMgr() {
  signal_.Close();
  FreeOutgoing(outgoing_);
  FreeIncoming(incoming_);
  std::free(batch_);
  batch_ = nullptr;
}

bool EventMgr::CreateSignal() { return signal_.Create(); }

bool EventMgr::CloseSignal() {
  signal_.Close();
  return true;
}

bool EventMgr::QueueEvent(uint32_t type, uint32_t size, const uint8_t* payload) {
  if (size > 0 && !payload) {
    Trace(TRACE_WARNING, "\r\nQueueEvent: %u bytes without a payload", size);
    return false;
  }
  if (batching_) return AppendToBatch(type, size, payload);

  uint8_t* copy = nullptr;
  if (size > 0) {
    copy = MayAllocate(Allocation::OUTGOING_PAYLOAD) ? HostAlloc(size) : nullptr;
    if (!copy) {
      Trace(TRACE_WARNING, "\r\nQueueEvent: no memory for %u payload bytes", size);
      return false;
    }
    std::memcpy(copy, payload, size);
  }
  Node* node = MayAllocate(Allocation::QUEUE_NODE) ? new (std::nothrow)
                                                         Node{Event{type, size, copy}, nullptr}
                                                   : nullptr;
  if (!node) {
    HostFree(copy);
    Trace(TRACE_WARNING, "\r\nQueueEvent: no memory for a queue node");
    return false;
  }
  {
    CriticalSectionLock lock(lock_);
    Queue one{node, node, 1};
    Append(outgoing_, one);
    queuedBytes_.fetch_add(size, std::memory_order_relaxed);
  }
  signal_.Set();  // after the lock, so a woken host does not block on it at once
  return true;
}

std::unique_ptr<uint8_t[]> EventMgr::NewPayload(uint32_t size) const {
  std::unique_ptr<uint8_t[]> block(MayAllocate(Allocation::OUTGOING_PAYLOAD)
                                       ? new (std::nothrow) uint8_t[size > 0 ? size : 1]
                                       : nullptr);
  if (!block) Trace(TRACE_WARNING, "\r\nQueueEvent: no memory to build %u payload bytes", size);
  return block;
}

bool EventMgr::WaitForEvents(uint32_t timeoutMs) {
  return signal_.Wait(timeoutMs) != AutoResetEvent::TIMED_OUT;
}

bool EventMgr::GetQueuedEvent(Event* out) {
  if (!out) return false;
  Node* node = nullptr;
  {
    CriticalSectionLock lock(lock_);
    node = outgoing_.head;
    if (!node) return false;
    outgoing_.head = node->next;
    if (!outgoing_.head) outgoing_.tail = nullptr;
    --outgoing_.count;
    queuedBytes_.fetch_sub(node->event.size, std::memory_order_relaxed);
  }
  *out = node->event;
  delete node;
  return true;
}

bool EventMgr::PostEvent(const Event* in) {
  if (!in || (in->size > 0 && !in->payload)) {
    Trace(TRACE_WARNING, "\r\nPostEvent: no event or no payload");
    return false;
  }
  IncomingChain chain(*this);
  if (in->type == ZKP_FULLUPDATE) {
    const ContainerWalk walk = WalkFullUpdateContainer(in->payload, in->size, chain);
    if (walk == ContainerWalk::STOPPED || walk == ContainerWalk::OUT_OF_MEMORY) {
      Trace(TRACE_WARNING, "\r\nPostEvent: full update dropped for want of memory");
      return false;
    }
  } else if (!chain.Add(in->type, in->size, in->payload)) {
    return false;
  }
  CriticalSectionLock lock(lock_);
  Append(incoming_, chain.events);
  return true;
}

bool EventMgr::DispatchEvents() {
  // The lock stays held for the whole pass: hosts posting meanwhile wait, and
  // their events go to the next pass. Events a handler posts on this thread
  // land in the emptied queue and wait for the next pass too.
  CriticalSectionLock lock(lock_);
  Queue pass = incoming_;
  incoming_ = Queue{};
  while (Node* node = pass.head) {
    pass.head = node->next;
    if (!dispatchStopped_) Deliver(node->event);
    std::free(node->event.payload);
    delete node;
  }
  return true;
}

bool EventMgr::BeginFullUpdate(uint32_t requestTag) {
  if (!batch_) {
    batch_ = MayAllocate(Allocation::BATCH)
                 ? static_cast<uint8_t*>(std::malloc(kFullUpdateHeaderSize))
                 : nullptr;
    if (!batch_) {
      Trace(TRACE_WARNING, "\r\nBeginFullUpdate: no memory; messages go out one by one");
      return false;
    }
    WriteMessage(batch_, FullUpdateHeader{requestTag, 0});
  }
  batching_ = true;
  return true;
}

bool EventMgr::EndFullUpdate() {
  if (!batching_) return false;
  batching_ = false;
  const bool queued =
      QueueEvent(ZKP_FULLUPDATE, kFullUpdateHeaderSize + BatchHeader().recordBytes, batch_);
  std::free(batch_);
  batch_ = nullptr;
  if (queued) Trace(TRACE_LIFECYCLE, "\r\nSent Full Update!");
  return queued;
}

uint32_t EventMgr::GetQueuedBytes() const { return queuedBytes_.load(std::memory_order_relaxed); }

FullUpdateHeader EventMgr::BatchHeader() const {
  FullUpdateHeader header = {};
  ParseMessage(batch_, kFullUpdateHeaderSize, &header);
  return header;
}

bool EventMgr::AppendToBatch(uint32_t type, uint32_t size, const uint8_t* payload) {
  FullUpdateHeader header = BatchHeader();
  const uint32_t used = header.recordBytes;
  const uint64_t grown =
      uint64_t{kFullUpdateHeaderSize} + used + kEventHeaderSize + uint64_t{size};
  if (grown > UINT32_MAX) {
    Trace(TRACE_WARNING, "\r\nQueueEvent: full update would exceed 4 GB; message dropped");
    return false;
  }
  void* bigger = MayAllocate(Allocation::BATCH) ? std::realloc(batch_, grown) : nullptr;
  if (!bigger) {
    // realloc leaves the old block alone: the batch keeps what it had.
    Trace(TRACE_WARNING, "\r\nQueueEvent: no memory to add %u bytes to the full update", size);
    return false;
  }
  batch_ = static_cast<uint8_t*>(bigger);
  uint8_t* record = batch_ + kFullUpdateHeaderSize + used;
  WriteMessage(record, EventHeader{type, size});
  if (size > 0) std::memcpy(record + kEventHeaderSize, payload, size);
  header.recordBytes = used + kEventHeaderSize + size;
  WriteMessage(batch_, header);
  return true;
}

void EventMgr::Deliver(const Event& event) {
  if (Dispatch(event)) return;
  char name[kProtocolTypeNameCapacity];
  FormatProtocolTypeName(event.type, name);
  Trace(TRACE_WARNING, "\r\nDispatchEvents: %s of %u bytes is too short; dropped", name,
        event.size);
}

bool EventMgr::Dispatch(const Event& event) {
  switch (event.type) {
    case ZKP_DISPLAYFORMAT: return Handle(event, &EventMgr::OnDisplayFormat);
    case ZKP_DISPLAYUPDATE: return Handle(event, &EventMgr::OnDisplayUpdate);
    case ZKP_MOUSEUPDATE: return Handle(event, &EventMgr::OnMouseUpdate);
    case ZKP_MOUSEPOSITION: return Handle(event, &EventMgr::OnMousePosition);
    case ZKP_KEYBOARDUPDATE: return Handle(event, &EventMgr::OnKeyboardUpdate);
    case ZKP_ANNOTATION: return Handle(event, &EventMgr::OnAnnotation);
    case ZKP_ANNOTATIONMODE: return Handle(event, &EventMgr::OnAnnotationMode);
    case ZKP_PALETTE: return Handle(event, &EventMgr::OnPalette);
    default: return true;  // no handler: the payload is freed unread
  }
}

void EventMgr::Append(Queue& queue, Queue& chain) {
  if (!chain.head) return;
  if (queue.tail) {
    queue.tail->next = chain.head;
  } else {
    queue.head = chain.head;
  }
  queue.tail = chain.tail;
  queue.count += chain.count;
  chain = Queue{};
}

void EventMgr::FreeOutgoing(Queue& queue) {
  while (Node* node = queue.head) {
    queue.head = node->next;
    HostFree(node->event.payload);
    delete node;
  }
  queue = Queue{};
}

void EventMgr::FreeIncoming(Queue& queue) {
  while (Node* node = queue.head) {
    queue.head = node->next;
    std::free(node->event.payload);
    delete node;
  }
  queue = Queue{};
}

void EventMgr::OnDisplayFormat(const DisplayFormatMessage&) {}
void EventMgr::OnDisplayUpdate(const DisplayUpdateMessage&) {}
void EventMgr::OnMouseUpdate(const MouseMessage&) {}
void EventMgr::OnMousePosition(const MouseMessage&) {}
void EventMgr::OnKeyboardUpdate(const KeyboardMessage&) {}
void EventMgr::OnAnnotation(const AnnotationMessage&) {}
void EventMgr::OnAnnotationMode(const AnnotationModeMessage&) {}
void EventMgr::OnPalette(const PaletteMessage&) {}
