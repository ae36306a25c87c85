#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "ContainerBuilder.h"
#include "EventMgrTestPeer.h"
#include "common/HostMemory.h"
#include "events/EventMgr.h"
#include "events/ProtocolMessages.h"

namespace {

constexpr uint32_t kOutgoing = 100000;
constexpr uint32_t kIncomingPosts = 20000;  // every eighth is a container of three
constexpr uint32_t kContainerEvery = 8;
constexpr uint32_t kRecheckMs = 20;  // a waiter's time-out only bounds how long it misses "done"

// Size of outgoing event `seq`: 0 to 4096 bytes, spread by a multiplicative hash.
uint32_t SizeOf(uint32_t seq) { return (seq * 2654435761u >> 7) % 4097; }
uint8_t ByteOf(uint32_t seq, uint32_t i) { return static_cast<uint8_t>(seq * 13 + i); }

// Counts incoming mouse updates, which carry consecutive sequence numbers.
class CountingEventMgr : public EventMgr {
 public:
  uint32_t delivered = 0;
  uint32_t outOfOrder = 0;
  void OnMouseUpdate(const MouseMessage& mouse) override {
    if (mouse.token != delivered) ++outOfOrder;
    ++delivered;
  }
};

struct DrainResult {
  std::vector<uint32_t> seen;  // sequence numbers, in the order taken
  uint32_t corrupt = 0;
};

// A host thread: wait, then take events until the queue is empty; stop once
// the producer is done and a drain after that found nothing more.
void Drain(EventMgr& events, const std::atomic<bool>& produced, DrainResult& result) {
  for (;;) {
    const bool finished = produced.load();
    events.WaitForEvents(kRecheckMs);
    Event e{};
    while (events.GetQueuedEvent(&e)) {
      result.seen.push_back(e.type);
      bool intact = e.size == SizeOf(e.type) && (e.size == 0) == (e.payload == nullptr);
      for (uint32_t i = 0; intact && i < e.size; ++i) intact = e.payload[i] == ByteOf(e.type, i);
      if (!intact) ++result.corrupt;
      if (!HostFree(e.payload)) ++result.corrupt;
    }
    if (finished) return;
  }
}

void Produce(EventMgr& events, std::atomic<bool>& produced, uint32_t& refused) {
  std::vector<uint8_t> buffer(4096);
  for (uint32_t seq = 0; seq < kOutgoing; ++seq) {
    const uint32_t size = SizeOf(seq);
    for (uint32_t i = 0; i < size; ++i) buffer[i] = ByteOf(seq, i);
    if (!events.QueueEvent(seq, size, size ? buffer.data() : nullptr)) ++refused;
  }
  produced.store(true);
}

// A host thread handing in received events: mouse updates numbered from 0,
// some bundled three to a container.
void PostIncoming(EventMgr& events, std::atomic<bool>& posted, uint32_t& count) {
  uint32_t seq = 0;
  for (uint32_t i = 0; i < kIncomingPosts; ++i) {
    std::vector<uint8_t> payload;
    uint32_t type = ZKP_MOUSEUPDATE;
    if (i % kContainerEvery == kContainerEvery - 1) {
      ContainerBuilder container(i);
      for (int k = 0; k < 3; ++k) container.Record(ZKP_MOUSEUPDATE, TokenPayload(seq++, 16));
      payload = container.Build();
      type = ZKP_FULLUPDATE;
    } else {
      payload = TokenPayload(seq++, kMouseMessageSize);
    }
    Event e{type, static_cast<uint32_t>(payload.size()), payload.data()};
    events.PostEvent(&e);
  }
  count = seq;
  posted.store(true);
}

TEST(EventStress, EveryEventArrivesExactlyOnceAndInOrder) {
  CountingEventMgr events;
  ASSERT_TRUE(events.CreateSignal());
  std::atomic<bool> produced{false};
  std::atomic<bool> posted{false};
  uint32_t refused = 0;
  uint32_t incomingCount = 0;
  DrainResult hostA, hostB;

  std::thread drainA(Drain, std::ref(events), std::cref(produced), std::ref(hostA));
  std::thread drainB(Drain, std::ref(events), std::cref(produced), std::ref(hostB));
  std::thread poster(PostIncoming, std::ref(events), std::ref(posted), std::ref(incomingCount));
  std::thread dispatcher([&events, &posted] {
    bool finished = false;
    while (!finished) {
      finished = posted.load();
      events.DispatchEvents();
      std::this_thread::yield();
    }
  });
  std::thread worker(Produce, std::ref(events), std::ref(produced), std::ref(refused));
  for (std::thread* t : {&worker, &drainA, &drainB, &poster, &dispatcher}) t->join();

  EXPECT_EQ(refused, 0u);
  EXPECT_EQ(hostA.corrupt + hostB.corrupt, 0u);
  std::vector<uint32_t> times(kOutgoing, 0);
  uint32_t disorder = 0;
  for (const DrainResult* host : {&hostA, &hostB}) {
    for (size_t i = 0; i < host->seen.size(); ++i) {
      if (i > 0 && host->seen[i] <= host->seen[i - 1]) ++disorder;
      if (host->seen[i] < kOutgoing) ++times[host->seen[i]];
    }
  }
  EXPECT_EQ(disorder, 0u);
  EXPECT_EQ(hostA.seen.size() + hostB.seen.size(), kOutgoing);
  uint32_t notOnce = 0;
  for (uint32_t t : times) notOnce += t != 1;
  EXPECT_EQ(notOnce, 0u);

  EXPECT_EQ(incomingCount, kIncomingPosts + 2 * (kIncomingPosts / kContainerEvery));
  EXPECT_EQ(events.delivered, incomingCount);
  EXPECT_EQ(events.outOfOrder, 0u);
  EXPECT_EQ(events.GetQueuedBytes(), 0u);
  EXPECT_EQ(EventMgrTestPeer::OutgoingCount(events), 0u);
  EXPECT_EQ(EventMgrTestPeer::IncomingCount(events), 0u);
}

}  // namespace
