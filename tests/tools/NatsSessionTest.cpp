// A session through NATS servers, made of the portable pieces: the pieces'
// header and splitting alone, then a presenter's audience and viewers'
// streams against real nats-server processes (a small max_payload, so that
// full updates and large events travel split), one cluster member killed.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "NatsServerKit.h"
#include "NatsSessionKit.h"
#include "PeerLimits.h"

namespace {
using std::chrono::milliseconds;
constexpr milliseconds kWait{10000};
constexpr size_t kSmallMaxPayload = 4096;
std::atomic<int> sessions{0};

std::string UniqueSession() {
  return "t" + std::to_string(::getpid()) + "-" + std::to_string(sessions++);
}

std::unique_ptr<NatsServer> SmallServer() {
  std::string error;
  auto server = NatsServer::Start("max_payload: " + std::to_string(kSmallMaxPayload) + "\n", &error);
  EXPECT_TRUE(server) << error;
  return server;
}

std::unique_ptr<NatsSessionStream> Join(const std::string& urls, const std::string& session,
                                        const std::string& name = "v") {
  std::string error;
  auto stream = JoinNatsSession(urls, session, name, 5, &error);
  EXPECT_TRUE(stream) << error;
  return stream;
}

uint32_t NumberOf(NatsAudience& audience, const NatsSessionStream& stream) {
  for (const NatsViewerInfo& viewer : audience.Viewers())
    if (viewer.id == stream.Id()) return viewer.number;
  return 0;
}

// The fill byte of each frame: what the tests tell frames apart by.
std::vector<int> Fills(const std::vector<ReceivedEvent>& frames) {
  std::vector<int> fills;
  for (const auto& frame : frames) fills.push_back(frame.payload.empty() ? -1 : frame.payload[0]);
  return fills;
}
}  // namespace

TEST(NatsSessionWire, AMessageSplitToTheServersSizeIsJoinedAgainAndALostPieceDropsIt) {
  std::vector<uint8_t> body(10000);
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i * 7);
  NatsPieceHeader header;
  header.kind = NatsPieceKind::kContainer;
  header.sequence = 41;
  const auto pieces = SplitNatsMessage(header, body.data(), body.size(), 1000);
  ASSERT_EQ(pieces.size(), 11u);
  NatsPieceJoiner joiner(1u << 20);
  NatsPieceHeader whole, piece;
  std::vector<uint8_t> joined;
  for (size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_LE(pieces[i].size(), 1000u);
    ASSERT_TRUE(ParseNatsPiece(pieces[i].data(), pieces[i].size(), &piece));
    const auto result = joiner.Feed(piece, pieces[i].data() + kNatsPieceHeaderSize,
                                    pieces[i].size() - kNatsPieceHeaderSize, &whole, &joined);
    EXPECT_EQ(result, i + 1 == pieces.size() ? NatsPieceJoiner::Result::kComplete
                                             : NatsPieceJoiner::Result::kPartial);
  }
  EXPECT_EQ(joined, body);
  EXPECT_EQ(whole.sequence, 41u);
  EXPECT_EQ(whole.kind, NatsPieceKind::kContainer);

  // The third piece lost: the fourth drops the message.
  for (size_t i : {0u, 1u, 3u}) {
    ParseNatsPiece(pieces[i].data(), pieces[i].size(), &piece);
    const auto result = joiner.Feed(piece, pieces[i].data() + kNatsPieceHeaderSize,
                                    pieces[i].size() - kNatsPieceHeaderSize, &whole, &joined);
    EXPECT_EQ(result, i == 3 ? NatsPieceJoiner::Result::kDropped : NatsPieceJoiner::Result::kPartial);
  }
  // A message beyond the bound is dropped, not held.
  NatsPieceJoiner small(5000);
  NatsPieceJoiner::Result last = NatsPieceJoiner::Result::kPartial;
  for (size_t i = 0; i < 6; ++i) {
    ParseNatsPiece(pieces[i].data(), pieces[i].size(), &piece);
    last = small.Feed(piece, pieces[i].data() + kNatsPieceHeaderSize,
                      pieces[i].size() - kNatsPieceHeaderSize, &whole, &joined);
  }
  EXPECT_EQ(last, NatsPieceJoiner::Result::kDropped);
}

TEST(NatsSessionWire, SessionNamesAndViewerIdsAreSingleTokens) {
  NatsSessionSubjects subjects;
  EXPECT_TRUE(MakeSessionSubjects("team-7_a", &subjects));
  EXPECT_EQ(subjects.events, "zk.team-7_a.events");
  EXPECT_EQ(subjects.UpSubject("00000000000000ff"), "zk.team-7_a.up.00000000000000ff");
  for (const char* bad : {"", "a.b", "a*", "a>", "a b"}) EXPECT_FALSE(MakeSessionSubjects(bad, &subjects)) << bad;
  uint64_t value = 0;
  EXPECT_TRUE(ParseViewerId("00000000000000ff", &value));
  EXPECT_EQ(value, 255u);
  EXPECT_EQ(FormatViewerId(value), "00000000000000ff");
  EXPECT_FALSE(ParseViewerId("00000000000000fF", &value));
  EXPECT_FALSE(ParseViewerId("*", &value));
}

TEST(NatsSession, JoinersThatAskTogetherShareOneFullUpdateThenFollowTheBroadcastInOrder) {
  auto server = SmallServer();
  ASSERT_TRUE(server);
  const std::string session = UniqueSession();
  StandInNatsHost host(server->Url(), session);
  std::string error;
  ASSERT_TRUE(host.Start(&error)) << error;
  host.SetFullUpdate({TestFrame(ZKP_FULLUPDATE, 9000, 0xC1), TestFrame(ZKP_MOUSEPOSITION, 8, 0xB0)});
  host.Audience().Broadcast(TestFrame(ZKP_DISPLAYUPDATE, 10, 1));  // before anyone: nobody sees it

  // Held until all three asked: one batch, whatever the machine's pace.
  host.Hold(true);
  std::vector<std::unique_ptr<NatsSessionStream>> viewers;
  for (int i = 0; i < 3; ++i) viewers.push_back(Join(server->Url(), session));
  ASSERT_TRUE(StandInNatsHost::Eventually([&] { return host.Audience().Viewers().size() == 3; }, kWait));
  host.Audience().Broadcast(TestFrame(ZKP_DISPLAYUPDATE, 10, 2));  // buffered, before the container
  host.Hold(false);
  std::vector<FrameCollector> readers;
  for (auto& viewer : viewers) readers.emplace_back(*viewer);
  for (auto& reader : readers) {
    const auto start = reader.Next(2, kWait);
    ASSERT_EQ(start.size(), 2u);
    EXPECT_EQ(start[0].type, ZKP_FULLUPDATE);
    EXPECT_EQ(start[0].payload, std::vector<uint8_t>(9000, 0xC1)) << "split and joined again";
    EXPECT_EQ(start[1].type, ZKP_MOUSEPOSITION);
  }
  EXPECT_EQ(host.Audience().ContainersPublished(), 1u);

  host.Audience().Broadcast(TestFrame(ZKP_DISPLAYUPDATE, 20000, 3));  // split too
  host.Audience().Broadcast(TestFrame(ZKP_DISPLAYUPDATE, 10, 4));
  // A mark relayed from the first viewer goes to the others only.
  host.Audience().Broadcast(TestFrame(ZKP_ANNOTATION, 22, 5), NumberOf(host.Audience(), *viewers[0]));
  host.Audience().Broadcast(TestFrame(ZKP_DISPLAYUPDATE, 10, 6));
  EXPECT_EQ(Fills(readers[0].Next(3, kWait)), (std::vector<int>{3, 4, 6}));
  for (int i : {1, 2}) {
    const auto frames = readers[i].Next(4, kWait);
    EXPECT_EQ(Fills(frames), (std::vector<int>{3, 4, 5, 6})) << "viewer " << i;
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].payload.size(), 20000u);
  }

  // What a viewer sends reaches the host with its number; an answer goes
  // to that viewer alone, ahead of the next broadcast.
  const WireFrame request = TestFrame(ZKP_KEYBOARDUPDATE, 12, 0x4B);
  ASSERT_EQ(viewers[1]->TrySend(request->data(), request->size()), int(request->size()));
  const auto received = host.AwaitReceived(1, kWait);
  ASSERT_EQ(received.size(), 1u);
  const uint32_t second = NumberOf(host.Audience(), *viewers[1]);
  EXPECT_EQ(received[0].viewer, second);
  EXPECT_EQ(received[0].type, ZKP_KEYBOARDUPDATE);
  EXPECT_EQ(received[0].payload, std::vector<uint8_t>(12, 0x4B));
  EXPECT_TRUE(host.Audience().SendTo(second, TestFrame(ZKP_CANCELINPUTCONTROL, 0, 0)));
  host.Audience().Broadcast(TestFrame(ZKP_DISPLAYUPDATE, 10, 7));
  const auto answered = readers[1].Next(2, kWait);
  ASSERT_EQ(answered.size(), 2u);
  EXPECT_EQ(answered[0].type, ZKP_CANCELINPUTCONTROL);
  EXPECT_EQ(Fills(readers[2].Next(1, kWait)), (std::vector<int>{7})) << "not the other's answer";

  // A late joiner gets a full update of its own; the others are not sent it
  // (it would come before the broadcast that follows it).
  host.SetFullUpdate({TestFrame(ZKP_FULLUPDATE, 50000, 0xC2)});
  const uint64_t before = viewers[2]->BytesReceived();
  auto late = Join(server->Url(), session);
  FrameCollector lateReader(*late);
  const auto lateStart = lateReader.Next(1, kWait);
  ASSERT_EQ(lateStart.size(), 1u);
  EXPECT_EQ(Fills(lateStart), (std::vector<int>{0xC2}));
  host.Audience().Broadcast(TestFrame(ZKP_DISPLAYUPDATE, 10, 8));
  EXPECT_EQ(Fills(lateReader.Next(1, kWait)), (std::vector<int>{8}));
  EXPECT_EQ(Fills(readers[2].Next(1, kWait)), (std::vector<int>{8}));
  EXPECT_LT(viewers[2]->BytesReceived() - before, 1000u) << "a live viewer was sent a joiner's full update";
  EXPECT_EQ(host.Audience().ContainersPublished(), 2u);

  // The presenter's end ends every viewer's stream in order.
  host.Audience().Stop();
  uint8_t byte;
  EXPECT_TRUE(StandInNatsHost::Eventually([&] { return late->TryReceive(&byte, 1) == 0; }, kWait));
}

TEST(NatsSession, AViewerBreakingABoundIsCutOffAndInventedIdsAreBounded) {
  auto server = SmallServer();
  ASSERT_TRUE(server);
  const std::string session = UniqueSession();
  StandInNatsHost host(server->Url(), session);
  std::string error;
  ASSERT_TRUE(host.Start(&error)) << error;
  auto hostile = Join(server->Url(), session, "hostile");
  auto fair = Join(server->Url(), session, "fair");
  ASSERT_TRUE(StandInNatsHost::Eventually([&] { return host.Audience().Viewers().size() == 2; }, kWait));

  // A frame longer than any a viewer sends, published raw on its subject.
  NatsOptions options;
  ParseNatsUrlList(server->Url(), &options.servers, &error);
  NatsConnection raw(options, [](const NatsDelivery&) {}, [](const NatsStatus&) {});
  raw.Start();
  ASSERT_TRUE(raw.WaitConnected(kWait));
  NatsSessionSubjects subjects;
  MakeSessionSubjects(session, &subjects);
  const WireFrame tooLong = TestFrame(ZKP_KEYBOARDUPDATE, kMaxViewerFramePayload + 1, 1);
  raw.Publish(subjects.UpSubject(hostile->Id()), tooLong->data(), tooLong->size());
  ASSERT_TRUE(StandInNatsHost::Eventually([&] { return host.Audience().CutOffs() == 1; }, kWait));
  // From then on nothing of it is taken, while the fair one is.
  const WireFrame event = TestFrame(ZKP_KEYBOARDUPDATE, 12, 2);
  ASSERT_GT(hostile->TrySend(event->data(), event->size()), 0);
  ASSERT_GT(fair->TrySend(event->data(), event->size()), 0);
  const auto received = host.AwaitReceived(1, kWait);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].viewer, NumberOf(host.Audience(), *fair));

  // A flood past the burst (in messages the server takes) cuts the fair one
  // off too.
  std::vector<uint8_t> flood;
  for (size_t i = 0; i < 200; ++i) flood.insert(flood.end(), event->begin(), event->end());
  for (size_t sent = 0; sent <= size_t(kViewerEventBurst); sent += 200)
    ASSERT_EQ(raw.Publish(subjects.UpSubject(fair->Id()), flood.data(), flood.size()),
              NatsConnection::PublishResult::kQueued);
  ASSERT_TRUE(StandInNatsHost::Eventually([&] { return host.Audience().CutOffs() == 2; }, kWait));
  EXPECT_EQ(host.Audience().Viewers().size(), 0u);
  EXPECT_EQ(host.Audience().TakeLeavers().size(), 2u);

  // Ids are free to make up: past the bound the longest silent is forgotten.
  for (uint64_t id = 1; id <= kMaxNatsViewers + 10; ++id) {
    const std::string request = FormatViewerId(id) + " made-up";
    raw.Publish(subjects.join, reinterpret_cast<const uint8_t*>(request.data()), request.size());
  }
  ASSERT_TRUE(StandInNatsHost::Eventually([&] { return host.Audience().TakeLeavers().size() == 10; }, kWait));
  EXPECT_EQ(host.Audience().Viewers().size(), kMaxNatsViewers);
  raw.Stop();
}

TEST(NatsSession, AViewerWhoseServerDiesRejoinsThroughAnotherAndCatchesUp) {
  std::string error;
  auto cluster = StartNatsCluster(3, &error);
  ASSERT_EQ(cluster.size(), 3u) << error;
  const std::string session = UniqueSession();
  StandInNatsHost host(cluster[0]->Url(), session);
  ASSERT_TRUE(host.Start(&error)) << error;
  host.SetFullUpdate({TestFrame(ZKP_FULLUPDATE, 100, 0xC1)});
  auto viewer = Join(cluster[2]->Url() + "," + cluster[1]->Url(), session);
  FrameCollector reader(*viewer);
  EXPECT_EQ(Fills(reader.Next(1, kWait)), (std::vector<int>{0xC1}));
  host.Audience().Broadcast(TestFrame(ZKP_DISPLAYUPDATE, 10, 1));
  EXPECT_EQ(Fills(reader.Next(1, kWait)), (std::vector<int>{1})) << "across the route";

  cluster[2]->Kill();
  host.SetFullUpdate({TestFrame(ZKP_FULLUPDATE, 100, 0xC2)});
  ASSERT_TRUE(StandInNatsHost::Eventually([&] { return viewer->JoinsAsked() >= 2; }, kWait));
  EXPECT_EQ(Fills(reader.Next(1, kWait)), (std::vector<int>{0xC2}));
  host.Audience().Broadcast(TestFrame(ZKP_DISPLAYUPDATE, 10, 2));
  EXPECT_EQ(Fills(reader.Next(1, kWait)), (std::vector<int>{2}));
}

TEST(NatsSession, ALiveViewerThatMissesABroadcastAsksAgainAndStartsFromTheNewFullUpdate) {
  auto server = SmallServer();
  ASSERT_TRUE(server);
  const std::string session = UniqueSession();
  StandInNatsHost host(server->Url(), session);
  std::string error;
  ASSERT_TRUE(host.Start(&error)) << error;
  host.SetFullUpdate({TestFrame(ZKP_FULLUPDATE, 100, 0xC1)});
  auto viewer = Join(server->Url(), session);
  FrameCollector reader(*viewer);
  EXPECT_EQ(Fills(reader.Next(1, kWait)), (std::vector<int>{0xC1}));
  EXPECT_EQ(viewer->JoinsAsked(), 1u);

  // A broadcast numbered past the next one, as after messages the server
  // dropped: it is not applied, and the viewer asks for a full update.
  NatsOptions options;
  ParseNatsUrlList(server->Url(), &options.servers, &error);
  NatsConnection raw(options, [](const NatsDelivery&) {}, [](const NatsStatus&) {});
  raw.Start();
  ASSERT_TRUE(raw.WaitConnected(kWait));
  NatsSessionSubjects subjects;
  MakeSessionSubjects(session, &subjects);
  NatsPieceHeader header;
  header.sequence = 100;
  const WireFrame skipped = TestFrame(ZKP_DISPLAYUPDATE, 10, 0x66);
  const auto pieces = SplitNatsMessage(header, skipped->data(), skipped->size(), kSmallMaxPayload);
  ASSERT_EQ(pieces.size(), 1u);
  host.SetFullUpdate({TestFrame(ZKP_FULLUPDATE, 100, 0xC2)});
  raw.Publish(subjects.events, pieces[0].data(), pieces[0].size());
  EXPECT_EQ(Fills(reader.Next(1, kWait)), (std::vector<int>{0xC2}));
  EXPECT_EQ(viewer->JoinsAsked(), 2u);
  host.Audience().Broadcast(TestFrame(ZKP_DISPLAYUPDATE, 10, 3));
  EXPECT_EQ(Fills(reader.Next(1, kWait)), (std::vector<int>{3}));
  raw.Stop();
}
