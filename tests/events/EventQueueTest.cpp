#include <gtest/gtest.h>

#include <vector>

#include "ContainerBuilder.h"
#include "EventMgrTestPeer.h"
#include "RecordingEventMgr.h"
#include "common/HostMemory.h"
#include "events/EventMgr.h"
#include "events/ProtocolMessages.h"

namespace {

using Allocation = EventMgrTestPeer::Allocation;

// Takes the next outgoing event and hands back its bytes, freeing the host block.
struct Taken {
  bool ok;
  uint32_t type;
  std::vector<uint8_t> bytes;
  bool nullPayload;
};
Taken Take(EventMgr& events) {
  Event e{0xDEAD, 0xBEEF, nullptr};
  Taken t{events.GetQueuedEvent(&e), e.type, {}, e.payload == nullptr};
  if (e.payload) t.bytes.assign(e.payload, e.payload + e.size);
  EXPECT_TRUE(HostFree(e.payload));
  return t;
}

bool Post(EventMgr& events, uint32_t type, const std::vector<uint8_t>& payload) {
  Event e{type, static_cast<uint32_t>(payload.size()), const_cast<uint8_t*>(payload.data())};
  return events.PostEvent(&e);
}

class EventQueue : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(events.CreateSignal()); }
  RecordingEventMgr events;
};

TEST_F(EventQueue, ZeroSizeEventHasNullPayloadCountsNothingAndSignals) {
  EXPECT_FALSE(events.WaitForEvents(0));
  ASSERT_TRUE(events.QueueEvent(ZKP_CANCELINPUTCONTROL, 0, nullptr));
  EXPECT_EQ(events.GetQueuedBytes(), 0u);
  EXPECT_TRUE(events.WaitForEvents(0));
  Taken t = Take(events);
  ASSERT_TRUE(t.ok);
  EXPECT_EQ(t.type, ZKP_CANCELINPUTCONTROL);
  EXPECT_TRUE(t.nullPayload);
  EXPECT_TRUE(t.bytes.empty());
}

TEST_F(EventQueue, OutgoingIsFirstInFirstOutAndCountsBytes) {
  std::vector<uint8_t> a = TokenPayload(1, 10), b = TokenPayload(2, 300), c = TokenPayload(3, 1);
  ASSERT_TRUE(events.QueueEvent(ZKP_DISPLAYUPDATE, 10, a.data()));
  a.assign(a.size(), 0xFF);  // the caller may reuse its buffer at once
  ASSERT_TRUE(events.QueueEvent(ZKP_ENDANNOTATION, 300, b.data()));
  ASSERT_TRUE(events.QueueEvent(ZKP_MOUSEUPDATE, 1, c.data()));
  EXPECT_EQ(events.GetQueuedBytes(), 311u);
  EXPECT_EQ(EventMgrTestPeer::OutgoingCount(events), 3u);

  Taken first = Take(events);
  EXPECT_EQ(first.type, ZKP_DISPLAYUPDATE);
  EXPECT_EQ(first.bytes, TokenPayload(1, 10));
  EXPECT_EQ(events.GetQueuedBytes(), 301u);
  Taken second = Take(events);
  EXPECT_EQ(second.type, ZKP_ENDANNOTATION);
  EXPECT_EQ(second.bytes, b);
  Taken third = Take(events);
  EXPECT_EQ(third.type, ZKP_MOUSEUPDATE);
  EXPECT_EQ(third.bytes, c);
  EXPECT_EQ(events.GetQueuedBytes(), 0u);
  EXPECT_EQ(EventMgrTestPeer::OutgoingCount(events), 0u);
}

TEST_F(EventQueue, EmptyQueueLeavesTheRecordUntouched) {
  Event e{7, 9, reinterpret_cast<uint8_t*>(&e)};
  EXPECT_FALSE(events.GetQueuedEvent(&e));
  EXPECT_EQ(e.type, 7u);
  EXPECT_EQ(e.size, 9u);
  EXPECT_EQ(e.payload, reinterpret_cast<uint8_t*>(&e));
}

TEST_F(EventQueue, SignalIsSetOncePerBurstAndWaitsWithoutItReturnAtOnce) {
  uint8_t byte = 1;
  ASSERT_TRUE(events.QueueEvent(ZKP_ENDANNOTATION, 1, &byte));
  ASSERT_TRUE(events.QueueEvent(ZKP_ENDANNOTATION, 1, &byte));
  EXPECT_TRUE(events.WaitForEvents(0));
  EXPECT_FALSE(events.WaitForEvents(0));  // auto-reset: the host must drain
  EXPECT_TRUE(Take(events).ok);
  EXPECT_TRUE(Take(events).ok);
  EXPECT_FALSE(Take(events).ok);

  ASSERT_TRUE(events.CloseSignal());
  ASSERT_TRUE(events.CloseSignal());
  EXPECT_TRUE(events.WaitForEvents(AutoResetEvent::kForever));  // nothing to wait on
  EventMgr unsignalled;
  EXPECT_TRUE(unsignalled.WaitForEvents(AutoResetEvent::kForever));
}

TEST_F(EventQueue, EachTypeReachesItsSlotAsTheRecordOfItsPayload) {
  struct Case {
    uint32_t type;
    int slot;
    std::vector<uint8_t> payload;
  };
  const std::vector<uint8_t> entries = TokenPayload(0, kPaletteEntryCount * kPaletteEntrySize);
  const Case cases[] = {
      {ZKP_DISPLAYFORMAT, 1, BytesOf(DisplayFormatMessage{100, 640, 480})},
      {ZKP_DISPLAYUPDATE, 2, BytesOf(DisplayUpdateMessage{101, 1, 2, 3, 4, 0, nullptr})},
      {ZKP_MOUSEUPDATE, 3, TokenPayload(103, kMouseMessageSize)},
      {ZKP_MOUSEPOSITION, 4, TokenPayload(110, kMouseMessageSize)},
      {ZKP_KEYBOARDUPDATE, 5, TokenPayload(104, kKeyboardMessageSize)},
      {ZKP_ANNOTATION, 6, BytesOf(AnnotationMessage{kAnnotationMarker, 0, -1, 2, -3, 4, 0xFF})},
      {ZKP_ANNOTATIONMODE, 7, BytesOf(AnnotationModeMessage{111, 1})},
      {ZKP_PALETTE, 8, BytesOf(PaletteMessage{112, entries.data()})}};
  for (const Case& c : cases) ASSERT_TRUE(Post(events, c.type, c.payload));
  EXPECT_TRUE(events.calls.empty());  // nothing runs before the dispatch pass
  EXPECT_EQ(EventMgrTestPeer::IncomingCount(events), 8u);
  ASSERT_TRUE(events.DispatchEvents());
  ASSERT_EQ(events.calls.size(), 8u);
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(events.calls[i].slot, cases[i].slot);
    EXPECT_EQ(events.calls[i].bytes, cases[i].payload);
  }
  EXPECT_EQ(EventMgrTestPeer::IncomingCount(events), 0u);
  EXPECT_FALSE(events.WaitForEvents(0));  // the incoming side never signals
}

TEST_F(EventQueue, TypesWithoutHandlerAreFreedUnhandled) {
  for (uint32_t type : {ZKP_SHAREDWINDOW, ZKP_ENDANNOTATION, ZKP_CANCELINPUTCONTROL,
                        ZKP_WINDOWEVENT, 13u, 0xFFFFFFFFu}) {
    ASSERT_TRUE(Post(events, type, TokenPayload(type, 40)));
  }
  ASSERT_TRUE(Post(events, ZKP_CANCELINPUTCONTROL, {}));
  ASSERT_TRUE(events.DispatchEvents());
  EXPECT_TRUE(events.calls.empty());
  EXPECT_EQ(EventMgrTestPeer::IncomingCount(events), 0u);
}

TEST_F(EventQueue, AnEndingSessionDropsWhatItHasNotDispatched) {
  for (uint16_t width = 8; width <= 64; width += 8)
    ASSERT_TRUE(Post(events, ZKP_DISPLAYFORMAT, BytesOf(DisplayFormatMessage{1, width, 8})));
  events.StopDispatching();
  ASSERT_TRUE(events.DispatchEvents());
  EXPECT_TRUE(events.calls.empty());
  EXPECT_EQ(EventMgrTestPeer::IncomingCount(events), 0u) << "dropped, and freed";
  events.ResumeDispatching();
  ASSERT_TRUE(Post(events, ZKP_DISPLAYFORMAT, BytesOf(DisplayFormatMessage{1, 16, 16})));
  ASSERT_TRUE(events.DispatchEvents());
  EXPECT_EQ(events.calls.size(), 1u) << "the next session's events arrive";
}

TEST_F(EventQueue, PostCopiesSoTheHostMayReuseItsBuffer) {
  std::vector<uint8_t> buffer = TokenPayload(5, 16);
  ASSERT_TRUE(Post(events, ZKP_MOUSEUPDATE, buffer));
  std::vector<uint8_t> original = buffer;
  buffer.assign(buffer.size(), 0);
  events.DispatchEvents();
  ASSERT_EQ(events.calls.size(), 1u);
  EXPECT_EQ(events.calls[0].bytes, original);
}

TEST_F(EventQueue, ShortPayloadsAreDroppedBeforeTheirHandler) {
  const struct {
    uint32_t type;
    uint32_t needed;
  } fixed[] = {{ZKP_DISPLAYFORMAT, kDisplayFormatSize},   {ZKP_DISPLAYUPDATE, kDisplayUpdateOverhead},
               {ZKP_MOUSEUPDATE, kMouseMessageSize},      {ZKP_MOUSEPOSITION, kMouseMessageSize},
               {ZKP_KEYBOARDUPDATE, kKeyboardMessageSize}, {ZKP_ANNOTATIONMODE, kAnnotationModeSize},
               {ZKP_PALETTE, kPaletteSize},               {ZKP_ANNOTATION, 2}};
  for (const auto& f : fixed) ASSERT_TRUE(Post(events, f.type, TokenPayload(0, f.needed - 1)));
  std::vector<uint8_t> element(kAnnotationSize - 1, 0);
  element[0] = kAnnotationHighlight;
  ASSERT_TRUE(Post(events, ZKP_ANNOTATION, element));
  // Claims 5 stream bytes where 4 stand.
  const std::vector<uint8_t> update =
      WireFields().U32(0).U8(1).U16(0).U16(0).U16(4).U16(1).U32(5).Bytes(TokenPayload(0, 4)).U8(0).Get();
  ASSERT_TRUE(Post(events, ZKP_DISPLAYUPDATE, update));
  events.DispatchEvents();
  EXPECT_TRUE(events.calls.empty());

  // A clear-all annotation needs only its kind and flag.
  ASSERT_TRUE(Post(events, ZKP_ANNOTATION, {kAnnotationClearAll, 1}));
  events.DispatchEvents();
  ASSERT_EQ(events.calls.size(), 1u);
  EXPECT_EQ(events.calls[0].slot, 6);
}

TEST_F(EventQueue, NullEventsAreRefused) {
  EXPECT_FALSE(events.PostEvent(nullptr));
  Event missing{ZKP_MOUSEUPDATE, 16, nullptr};
  EXPECT_FALSE(events.PostEvent(&missing));
  EXPECT_FALSE(events.QueueEvent(ZKP_MOUSEUPDATE, 16, nullptr));
  EXPECT_FALSE(events.GetQueuedEvent(nullptr));
  EXPECT_EQ(EventMgrTestPeer::IncomingCount(events), 0u);
  EXPECT_EQ(EventMgrTestPeer::OutgoingCount(events), 0u);
}

// A handler that answers by queueing: it runs under the lock, which must let
// the same thread in again.
class AnsweringEventMgr : public EventMgr {
 public:
  void OnMouseUpdate(const MouseMessage&) override {
    QueueEvent(ZKP_CANCELINPUTCONTROL, 0, nullptr);
  }
};

TEST(EventQueueHandlers, MayQueueOutgoingEventsWhileDispatching) {
  AnsweringEventMgr events;
  ASSERT_TRUE(Post(events, ZKP_MOUSEUPDATE, TokenPayload(1, 16)));
  ASSERT_TRUE(events.DispatchEvents());
  Taken t = Take(events);
  ASSERT_TRUE(t.ok);
  EXPECT_EQ(t.type, ZKP_CANCELINPUTCONTROL);
}

class FullUpdateBatch : public EventQueue {};

TEST_F(FullUpdateBatch, TwoBeginsMakeOneContainerWithTheFirstTag) {
  const std::vector<uint8_t> format = TokenPayload(9, kDisplayFormatSize);
  const std::vector<uint8_t> mode = TokenPayload(9, kAnnotationModeSize);
  ASSERT_TRUE(events.BeginFullUpdate(0x11223344));
  ASSERT_TRUE(events.QueueEvent(ZKP_DISPLAYFORMAT, 8, format.data()));
  ASSERT_TRUE(events.BeginFullUpdate(0x55667788));
  ASSERT_TRUE(events.QueueEvent(ZKP_ANNOTATIONMODE, 5, mode.data()));
  ASSERT_TRUE(events.QueueEvent(ZKP_CANCELINPUTCONTROL, 0, nullptr));
  EXPECT_EQ(events.GetQueuedBytes(), 0u);
  EXPECT_FALSE(events.WaitForEvents(0));  // builders' messages wake nobody

  ASSERT_TRUE(events.EndFullUpdate());
  EXPECT_TRUE(events.WaitForEvents(0));  // woken once
  EXPECT_FALSE(events.WaitForEvents(0));
  const std::vector<uint8_t> expected = ContainerBuilder(0x11223344)
                                            .Record(ZKP_DISPLAYFORMAT, format)
                                            .Record(ZKP_ANNOTATIONMODE, mode)
                                            .Record(ZKP_CANCELINPUTCONTROL, {})
                                            .Build();
  EXPECT_EQ(events.GetQueuedBytes(), expected.size());
  Taken t = Take(events);
  ASSERT_TRUE(t.ok);
  EXPECT_EQ(t.type, ZKP_FULLUPDATE);
  EXPECT_EQ(t.bytes.size(), 8u + 8 + 8 + 8 + 5 + 8);
  EXPECT_EQ(t.bytes, expected);
  EXPECT_FALSE(Take(events).ok);
}

TEST_F(FullUpdateBatch, EmptyBatchIsAnEightByteContainer) {
  ASSERT_TRUE(events.BeginFullUpdate(3));
  ASSERT_TRUE(events.EndFullUpdate());
  Taken t = Take(events);
  EXPECT_EQ(t.bytes, ContainerBuilder(3).Build());
}

TEST_F(FullUpdateBatch, EndWithoutBeginDoesNothing) {
  EXPECT_FALSE(events.EndFullUpdate());
  EXPECT_FALSE(events.WaitForEvents(0));
  EXPECT_FALSE(Take(events).ok);
  // After a completed batch, too.
  ASSERT_TRUE(events.BeginFullUpdate(1));
  ASSERT_TRUE(events.EndFullUpdate());
  EXPECT_FALSE(events.EndFullUpdate());
  EXPECT_TRUE(Take(events).ok);
  EXPECT_FALSE(Take(events).ok);
}

TEST_F(FullUpdateBatch, ProducedContainerUnpacksOnTheReceivingSide) {
  ASSERT_TRUE(events.BeginFullUpdate(1));
  ASSERT_TRUE(events.QueueEvent(ZKP_DISPLAYFORMAT, 8, TokenPayload(4, 8).data()));
  ASSERT_TRUE(events.QueueEvent(ZKP_PALETTE, kPaletteSize, TokenPayload(4, kPaletteSize).data()));
  ASSERT_TRUE(events.EndFullUpdate());
  Taken t = Take(events);
  RecordingEventMgr viewer;
  ASSERT_TRUE(Post(viewer, t.type, t.bytes));
  viewer.DispatchEvents();
  ASSERT_EQ(viewer.calls.size(), 2u);
  EXPECT_EQ(viewer.calls[0].slot, 1);
  EXPECT_EQ(viewer.calls[1].slot, 8);
  EXPECT_EQ(viewer.calls[1].bytes, TokenPayload(4, kPaletteSize));
}

class AllocationFailure : public EventQueue {
 protected:
  void TearDown() override { EventMgrTestPeer::Clear(events); }
};

TEST_F(AllocationFailure, QueueEventAndQueueMessageLeaveTheOutgoingQueueIntact) {
  const std::vector<uint8_t> payload = TokenPayload(1, 32);
  ASSERT_TRUE(events.QueueEvent(ZKP_ENDANNOTATION, 32, payload.data()));
  EXPECT_TRUE(events.WaitForEvents(0));

  for (Allocation site : {Allocation::OUTGOING_PAYLOAD, Allocation::QUEUE_NODE}) {
    EventMgrTestPeer::FailAfter(events, site, 0);
    EXPECT_FALSE(events.QueueEvent(ZKP_ENDANNOTATION, 32, payload.data()));
    EXPECT_FALSE(events.QueueMessage(ZKP_ANNOTATIONMODE, AnnotationModeMessage{1, 1}));
    EXPECT_EQ(EventMgrTestPeer::OutgoingCount(events), 1u);
    EXPECT_EQ(events.GetQueuedBytes(), 32u);
    EXPECT_FALSE(events.WaitForEvents(0));  // a refused event wakes nobody
  }
  EventMgrTestPeer::Clear(events);
  ASSERT_TRUE(events.QueueEvent(ZKP_ENDANNOTATION, 0, nullptr));
  EXPECT_TRUE(Take(events).ok);
  EXPECT_TRUE(Take(events).ok);
  EXPECT_FALSE(Take(events).ok);
  EXPECT_EQ(events.GetQueuedBytes(), 0u);
}

TEST_F(AllocationFailure, PostEventLeavesTheIncomingQueueIntact) {
  ASSERT_TRUE(Post(events, ZKP_MOUSEUPDATE, TokenPayload(1, 16)));
  for (Allocation site : {Allocation::INCOMING_PAYLOAD, Allocation::QUEUE_NODE}) {
    EventMgrTestPeer::FailAfter(events, site, 0);
    EXPECT_FALSE(Post(events, ZKP_MOUSEUPDATE, TokenPayload(2, 16)));
    EXPECT_EQ(EventMgrTestPeer::IncomingCount(events), 1u);
  }
  EventMgrTestPeer::Clear(events);
  events.DispatchEvents();
  ASSERT_EQ(events.calls.size(), 1u);
  EXPECT_EQ(events.calls[0].bytes, TokenPayload(1, 16));
}

TEST_F(AllocationFailure, ContainerIsPostedWholeOrNotAtAll) {
  const std::vector<uint8_t> container = ContainerBuilder()
                                             .Record(ZKP_MOUSEUPDATE, TokenPayload(1, 16))
                                             .Record(ZKP_MOUSEUPDATE, TokenPayload(2, 16))
                                             .Record(ZKP_MOUSEUPDATE, TokenPayload(3, 16))
                                             .Build();
  for (Allocation site : {Allocation::INCOMING_PAYLOAD, Allocation::QUEUE_NODE}) {
    EventMgrTestPeer::FailAfter(events, site, 2);  // the third record fails
    EXPECT_FALSE(Post(events, ZKP_FULLUPDATE, container));
    EXPECT_EQ(EventMgrTestPeer::IncomingCount(events), 0u);
  }
  EventMgrTestPeer::Clear(events);
  ASSERT_TRUE(Post(events, ZKP_FULLUPDATE, container));
  EXPECT_EQ(EventMgrTestPeer::IncomingCount(events), 3u);
}

TEST_F(AllocationFailure, BatchKeepsWhatItHadWhenItCannotGrow) {
  const std::vector<uint8_t> format = TokenPayload(1, 8);
  ASSERT_TRUE(events.BeginFullUpdate(7));
  ASSERT_TRUE(events.QueueEvent(ZKP_DISPLAYFORMAT, 8, format.data()));
  EventMgrTestPeer::FailAfter(events, Allocation::BATCH, 0);
  EXPECT_FALSE(events.QueueEvent(ZKP_PALETTE, kPaletteSize, TokenPayload(1, kPaletteSize).data()));
  EventMgrTestPeer::Clear(events);
  ASSERT_TRUE(events.EndFullUpdate());
  EXPECT_EQ(Take(events).bytes, ContainerBuilder(7).Record(ZKP_DISPLAYFORMAT, format).Build());
}

TEST_F(AllocationFailure, BatchThatCannotOpenLetsMessagesOutOneByOne) {
  EventMgrTestPeer::FailAfter(events, Allocation::BATCH, 0);
  EXPECT_FALSE(events.BeginFullUpdate(7));
  EventMgrTestPeer::Clear(events);
  ASSERT_TRUE(events.QueueEvent(ZKP_DISPLAYFORMAT, 8, TokenPayload(1, 8).data()));
  EXPECT_FALSE(events.EndFullUpdate());
  Taken t = Take(events);
  EXPECT_EQ(t.type, ZKP_DISPLAYFORMAT);
  EXPECT_FALSE(Take(events).ok);
}

TEST_F(AllocationFailure, ContainerThatCannotBeQueuedIsDropped) {
  ASSERT_TRUE(events.BeginFullUpdate(7));
  ASSERT_TRUE(events.QueueEvent(ZKP_DISPLAYFORMAT, 8, TokenPayload(1, 8).data()));
  EventMgrTestPeer::FailAfter(events, Allocation::OUTGOING_PAYLOAD, 0);
  EXPECT_FALSE(events.EndFullUpdate());
  EventMgrTestPeer::Clear(events);
  EXPECT_FALSE(Take(events).ok);
  // The next full update starts afresh with its own tag.
  ASSERT_TRUE(events.BeginFullUpdate(8));
  ASSERT_TRUE(events.EndFullUpdate());
  EXPECT_EQ(Take(events).bytes, ContainerBuilder(8).Build());
}

}  // namespace
