#pragma once

#include <atomic>
#include <cstdint>

#include "common/CriticalSection.h"
#include "events/EventMgr.h"

// Reaches into EventMgr for tests only: reads the queue lengths and installs
// the allocation gate that lets a test make one kind of allocation fail.
class EventMgrTestPeer {
 public:
  using Allocation = EventMgr::Allocation;

  static uint32_t OutgoingCount(EventMgr& events) {
    CriticalSectionLock lock(events.lock_);
    return events.outgoing_.count;
  }
  static uint32_t IncomingCount(EventMgr& events) {
    CriticalSectionLock lock(events.lock_);
    return events.incoming_.count;
  }

  // Lets `allowed` allocations of kind `site` succeed, then refuses that kind
  // until Clear; other kinds are unaffected.
  static void FailAfter(EventMgr& events, Allocation site, int allowed) {
    site_ = site;
    allowed_ = allowed;
    refused_ = 0;
    events.allocationGate_ = &Gate;
  }
  static void Clear(EventMgr& events) { events.allocationGate_ = nullptr; }
  // Allocations refused since FailAfter; the gate may run on another thread.
  static int Refused() { return refused_; }

 private:
  static bool Gate(Allocation what) {
    if (what != site_) return true;
    if (allowed_ == 0) {
      ++refused_;
      return false;
    }
    --allowed_;
    return true;
  }

  static inline Allocation site_ = Allocation::QUEUE_NODE;
  static inline int allowed_ = 0;
  static inline std::atomic<int> refused_{0};
};
