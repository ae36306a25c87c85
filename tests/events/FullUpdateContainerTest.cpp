#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "ContainerBuilder.h"
#include "EventMgrTestPeer.h"
#include "RecordingEventMgr.h"
#include "events/FullUpdateContainer.h"
#include "events/ProtocolMessages.h"

namespace {

// Collects what the walker delivers.
class Collector : public ContainerRecordSink {
 public:
  struct Record {
    uint32_t type;
    std::vector<uint8_t> bytes;
  };
  std::vector<Record> records;
  bool OnRecord(uint32_t type, uint32_t size, const uint8_t* payload) override {
    records.push_back(Record{type, std::vector<uint8_t>(payload, payload + size)});
    return true;
  }
};

// The token of a delivered mouse record.
uint32_t TokenOf(const std::vector<uint8_t>& mouse) {
  MouseMessage message = {};
  EXPECT_TRUE(ParseMessage(mouse.data(), static_cast<uint32_t>(mouse.size()), &message));
  return message.token;
}

ContainerWalk Walk(const std::vector<uint8_t>& container, Collector& sink) {
  return WalkFullUpdateContainer(container.data(), static_cast<uint32_t>(container.size()), sink);
}

const std::vector<uint8_t> kMouse1 = TokenPayload(1, kMouseMessageSize);
const std::vector<uint8_t> kMouse2 = TokenPayload(2, kMouseMessageSize);

TEST(FullUpdateContainer, EmptyContainerPostsNothing) {
  RecordingEventMgr events;
  const std::vector<uint8_t> empty = ContainerBuilder(5).Build();
  Event e{ZKP_FULLUPDATE, static_cast<uint32_t>(empty.size()), const_cast<uint8_t*>(empty.data())};
  EXPECT_TRUE(events.PostEvent(&e));
  EXPECT_EQ(EventMgrTestPeer::IncomingCount(events), 0u);
}

TEST(FullUpdateContainer, ThreeRecordsArePostedInOrderAsOwnCopies) {
  const std::vector<uint8_t> format = TokenPayload(7, kDisplayFormatSize);
  const std::vector<uint8_t> palette = TokenPayload(7, kPaletteSize);
  const std::vector<uint8_t> stream = TokenPayload(0, 3);
  const std::vector<uint8_t> update = BytesOf(DisplayUpdateMessage{7, 0, 0, 4, 1, 3, stream.data()});
  std::vector<uint8_t> container = ContainerBuilder(5)
                                       .Record(ZKP_DISPLAYFORMAT, format)
                                       .Record(ZKP_PALETTE, palette)
                                       .Record(ZKP_DISPLAYUPDATE, update)
                                       .Build();
  RecordingEventMgr events;
  Event e{ZKP_FULLUPDATE, static_cast<uint32_t>(container.size()), container.data()};
  ASSERT_TRUE(events.PostEvent(&e));
  container.assign(container.size(), 0xEE);  // the host may release its buffer now
  EXPECT_EQ(EventMgrTestPeer::IncomingCount(events), 3u);
  events.DispatchEvents();
  ASSERT_EQ(events.calls.size(), 3u);
  EXPECT_EQ(events.calls[0].slot, 1);
  EXPECT_EQ(events.calls[0].bytes, format);
  EXPECT_EQ(events.calls[1].slot, 8);
  EXPECT_EQ(events.calls[1].bytes, palette);
  EXPECT_EQ(events.calls[2].slot, 2);
  EXPECT_EQ(events.calls[2].bytes, update);
}

TEST(FullUpdateContainer, NestedContainersAreUnpackedInPlace) {
  const std::vector<uint8_t> inner = ContainerBuilder(2).Record(3, kMouse2).Build();
  const std::vector<uint8_t> outer = ContainerBuilder(1)
                                         .Record(3, kMouse1)
                                         .Record(ZKP_FULLUPDATE, inner)
                                         .Record(ZKP_ENDANNOTATION, {9})
                                         .Record(ZKP_FULLUPDATE, ContainerBuilder().Build())
                                         .Build();
  Collector sink;
  EXPECT_EQ(Walk(outer, sink), ContainerWalk::COMPLETE);
  ASSERT_EQ(sink.records.size(), 3u);
  EXPECT_EQ(sink.records[0].bytes, kMouse1);
  EXPECT_EQ(sink.records[1].bytes, kMouse2);
  EXPECT_EQ(sink.records[2].type, ZKP_ENDANNOTATION);
}

TEST(FullUpdateContainer, SinkMayStopTheWalk) {
  class StopAtFirst : public ContainerRecordSink {
   public:
    int seen = 0;
    bool OnRecord(uint32_t, uint32_t, const uint8_t*) override { return ++seen > 1; }
  } sink;
  const std::vector<uint8_t> c = ContainerBuilder().Record(3, kMouse1).Record(3, kMouse2).Build();
  EXPECT_EQ(WalkFullUpdateContainer(c.data(), static_cast<uint32_t>(c.size()), sink),
            ContainerWalk::STOPPED);
  EXPECT_EQ(sink.seen, 1);
}

// Received containers are hostile until proven otherwise: each case must
// deliver exactly the records that lie wholly inside and touch nothing
// outside the buffer (ASan watches the native build).
class HostileContainer : public ::testing::Test {
 protected:
  // Copies into a block of exactly the container's size, so that a read past
  // its end is caught.
  ContainerWalk WalkExact(const std::vector<uint8_t>& container) {
    exact_.reset(new uint8_t[container.size() ? container.size() : 1]);
    std::copy(container.begin(), container.end(), exact_.get());
    return WalkFullUpdateContainer(exact_.get(), static_cast<uint32_t>(container.size()), sink);
  }
  Collector sink;

 private:
  std::unique_ptr<uint8_t[]> exact_;
};

TEST_F(HostileContainer, TruncatedHeader) {
  for (size_t n = 0; n < kFullUpdateHeaderSize; ++n) {
    std::vector<uint8_t> c = ContainerBuilder().Record(3, kMouse1).Build();
    c.resize(n);
    EXPECT_EQ(WalkExact(c), ContainerWalk::MALFORMED) << n;
  }
  EXPECT_TRUE(sink.records.empty());
}

TEST_F(HostileContainer, TruncatedAtEveryByteKeepsTheWholeRecordsBeforeTheCut) {
  const std::vector<uint8_t> full =
      ContainerBuilder().Record(3, kMouse1).Record(3, kMouse2).Build();
  for (size_t cut = kFullUpdateHeaderSize; cut < full.size(); ++cut) {
    sink.records.clear();
    std::vector<uint8_t> c(full.begin(), full.begin() + cut);  // L still claims everything
    EXPECT_EQ(WalkExact(c), ContainerWalk::MALFORMED) << cut;
    const size_t whole = (cut - kFullUpdateHeaderSize) / (kEventHeaderSize + kMouseMessageSize);
    EXPECT_EQ(sink.records.size(), whole) << cut;
  }
}

TEST_F(HostileContainer, RecordOverrunningTheRecordBytesIsDropped) {
  // L covers the first record and half of the second, whose bytes are present.
  ContainerBuilder b;
  b.Record(3, kMouse1).Record(3, kMouse2);
  EXPECT_EQ(WalkExact(b.BuildClaiming(24 + 12)), ContainerWalk::MALFORMED);
  ASSERT_EQ(sink.records.size(), 1u);
  EXPECT_EQ(sink.records[0].bytes, kMouse1);
}

TEST_F(HostileContainer, RecordSizeBeyondThePayloadIsDropped) {
  for (uint32_t claimed : {17u, 0x7FFFFFFFu, 0xFFFFFFF8u, 0xFFFFFFFFu}) {
    sink.records.clear();
    const std::vector<uint8_t> c =
        ContainerBuilder().Record(3, kMouse1).RecordClaiming(3, claimed, kMouse2).Build();
    EXPECT_EQ(WalkExact(c), ContainerWalk::MALFORMED) << claimed;
    ASSERT_EQ(sink.records.size(), 1u);
  }
}

TEST_F(HostileContainer, RecordBytesCountLargerThanThePayload) {
  ContainerBuilder b;
  b.Record(3, kMouse1).Record(3, kMouse2);
  for (uint32_t claimed : {b.RecordBytes() + 1, 1000u, 0xFFFFFFFFu}) {
    sink.records.clear();
    EXPECT_EQ(WalkExact(b.BuildClaiming(claimed)), ContainerWalk::MALFORMED) << claimed;
    EXPECT_EQ(sink.records.size(), 2u);
  }
}

TEST_F(HostileContainer, TrailingBytesTooFewForARecordHeader) {
  const std::vector<uint8_t> c = ContainerBuilder().Record(3, kMouse1).Raw({1, 2, 3}).Build();
  EXPECT_EQ(WalkExact(c), ContainerWalk::MALFORMED);
  EXPECT_EQ(sink.records.size(), 1u);
}

TEST_F(HostileContainer, NestedContainerTooShortForItsHeaderIsSkipped) {
  const std::vector<uint8_t> c =
      ContainerBuilder().Record(ZKP_FULLUPDATE, {1, 2, 3}).Record(3, kMouse1).Build();
  EXPECT_EQ(WalkExact(c), ContainerWalk::MALFORMED);
  ASSERT_EQ(sink.records.size(), 1u);
  EXPECT_EQ(sink.records[0].bytes, kMouse1);
}

TEST_F(HostileContainer, NestedContainerClaimingMoreThanItsRecordHolds) {
  // The inner L reaches into the outer's next record: only the inner record
  // itself may be read as the inner container's.
  const std::vector<uint8_t> inner = ContainerBuilder().Record(3, kMouse2).BuildClaiming(100);
  const std::vector<uint8_t> c =
      ContainerBuilder().Record(ZKP_FULLUPDATE, inner).Record(3, kMouse1).Build();
  EXPECT_EQ(WalkExact(c), ContainerWalk::MALFORMED);
  ASSERT_EQ(sink.records.size(), 2u);
  EXPECT_EQ(sink.records[0].bytes, kMouse2);
  EXPECT_EQ(sink.records[1].bytes, kMouse1);
}

// Writes `depth` containers, each nested in its parent, around one mouse
// record (token 0xFFFFFFFF). With `trailing`, each parent also carries a mouse
// record after its nested container, token = its level (0 outermost); those
// follow the nested bytes, so they stand innermost first at the end.
std::vector<uint8_t> DeepNest(uint32_t depth, bool trailing) {
  const uint32_t head = kFullUpdateHeaderSize + kEventHeaderSize;
  const uint32_t tail = trailing ? kEventHeaderSize + kMouseMessageSize : 0;
  const uint32_t core = head + kMouseMessageSize;
  std::vector<uint8_t> out(static_cast<size_t>(depth - 1) * (head + tail) + core);
  const auto writeMouse = [](uint8_t* at, uint32_t token) {
    WriteMessage(at, EventHeader{ZKP_MOUSEUPDATE, kMouseMessageSize});
    const std::vector<uint8_t> mouse = TokenPayload(token, kMouseMessageSize);
    std::copy(mouse.begin(), mouse.end(), at + kEventHeaderSize);
  };
  uint8_t* innermost = out.data() + static_cast<size_t>(depth - 1) * head;
  WriteMessage(innermost, FullUpdateHeader{depth - 1, core - kFullUpdateHeaderSize});
  writeMouse(innermost + kFullUpdateHeaderSize, 0xFFFFFFFF);
  uint32_t childSize = core;
  for (uint32_t i = depth - 1; i-- > 0;) {
    uint8_t* at = out.data() + static_cast<size_t>(i) * head;
    const uint32_t size = head + childSize + tail;
    WriteMessage(at, FullUpdateHeader{i, size - kFullUpdateHeaderSize});
    WriteMessage(at + kFullUpdateHeaderSize, EventHeader{ZKP_FULLUPDATE, childSize});
    if (trailing) writeMouse(at + head + childSize, i);
    childSize = size;
  }
  return out;
}

TEST_F(HostileContainer, NestedOneHundredThousandDeep) {
  const std::vector<uint8_t> c = DeepNest(100000, false);
  EXPECT_EQ(WalkExact(c), ContainerWalk::COMPLETE);
  ASSERT_EQ(sink.records.size(), 1u);
  EXPECT_EQ(TokenOf(sink.records[0].bytes), 0xFFFFFFFFu);
}

TEST_F(HostileContainer, NestedOneHundredThousandDeepWithARecordAfterEachLevel) {
  const uint32_t depth = 100000;
  const std::vector<uint8_t> c = DeepNest(depth, true);
  EXPECT_EQ(WalkExact(c), ContainerWalk::COMPLETE);
  ASSERT_EQ(sink.records.size(), depth);
  EXPECT_EQ(TokenOf(sink.records[0].bytes), 0xFFFFFFFFu);
  // Then each level's own record, innermost level first.
  bool inOrder = true;
  for (uint32_t k = 1; k < depth; ++k) {
    inOrder = inOrder && TokenOf(sink.records[k].bytes) == depth - 1 - k;
  }
  EXPECT_TRUE(inOrder);
}

TEST_F(HostileContainer, NestedDeepWithTheInnermostRecordCut) {
  std::vector<uint8_t> c = DeepNest(100000, false);
  c.resize(c.size() - 1);  // every L now claims one byte more than is present
  EXPECT_EQ(WalkExact(c), ContainerWalk::MALFORMED);
  EXPECT_TRUE(sink.records.empty());
}

TEST(HostileContainerPosting, PostsTheSoundRecordsAndReportsSuccess) {
  RecordingEventMgr events;
  ContainerBuilder b;
  b.Record(3, kMouse1).RecordClaiming(3, 0xFFFFFFF0u, kMouse2);
  std::vector<uint8_t> c = b.Build();
  Event e{ZKP_FULLUPDATE, static_cast<uint32_t>(c.size()), c.data()};
  EXPECT_TRUE(events.PostEvent(&e));
  events.DispatchEvents();
  ASSERT_EQ(events.calls.size(), 1u);
  EXPECT_EQ(events.calls[0].bytes, kMouse1);
}

}  // namespace
