// The presenter's host against a stand-in for the library's queue, so that
// what the host does with the queue's signal can be pinned down exactly.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <memory>
#include <thread>
#include <vector>

#include "PeerLimits.h"
#include "PresenterHost.h"
#include "RawPeer.h"
#include "StandInLibrary.h"
#include "TestSecrets.h"
#include "events/ControlTokenMessages.h"
#include "events/ProtocolMessages.h"

namespace {

// A queue holding a few events whose signal has already been consumed: the
// wait always times out.
std::atomic<int> g_waiting{0};

uint8_t __cdecl NeverSignalled(uint32_t timeoutMs) {
  Sleep(timeoutMs);
  return 0;
}

uint8_t __cdecl TakeWaiting(ZKEvent* out) {
  if (g_waiting <= 0) return 0;
  --g_waiting;
  out->type = ZKP_MOUSEPOSITION;
  out->size = kMouseMessageSize;
  out->payload = static_cast<uint8_t*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, kMouseMessageSize));
  return 1;
}

}  // namespace

TEST(PresenterHostQueue, EventsWhoseSignalWasConsumedAreStillDrained) {
  ZKLibrary library;
  library.WaitForEvents = NeverSignalled;
  library.GetQueuedEvent = TakeWaiting;
  g_waiting = 3;
  PresenterHost host(library, PresenterOptions());
  std::atomic<int> drained{0};
  host.SetObserver([&](const ZKEvent&) {
    if (++drained == 3) host.Stop();
  });
  std::thread serving([&] { host.Serve(20); });  // the limit only ends a failing run
  serving.join();
  EXPECT_EQ(drained, 3);
  EXPECT_EQ(g_waiting, 0);
}

// What a hostile viewer can make the presenter's host hold or do, with the
// host serving real connections and a stand-in for the library.
namespace {
class HostilePeers : public ::testing::Test {
 protected:
  void SetUp() override {
    static WinsockSession winsock;
    ASSERT_TRUE(winsock.Started());
    library_ = standin::Fresh();
    options_.admission = secrets_.admission;
  }
  void TearDown() override {
    if (host_) host_->Stop();
    if (serving_.joinable()) serving_.join();
  }
  // `before` sets the host up before it serves.
  void Serve(const std::function<void(PresenterHost&)>& before = {}) {
    host_ = std::make_unique<PresenterHost>(library_, options_);
    if (before) before(*host_);
    std::string error;
    ASSERT_TRUE(host_->Listen(&error)) << error;
    serving_ = std::thread([this] { host_->Serve(0); });
  }
  // A raw viewer, admitted, that has its full update and so takes the
  // ordinary stream.
  void Join(RawPeer& peer) {
    ASSERT_TRUE(peer.Join(host_->Port(), secrets_.invitation)) << peer.Error();
    ASSERT_TRUE(Await([&] { return peer.Count(ZKP_FULLUPDATE) == 1; }));
  }
  static bool Await(const std::function<bool()>& condition) {
    const DWORD start = GetTickCount();
    while (!condition()) {
      if (GetTickCount() - start > 20000) return false;
      Sleep(10);  // polling an observable condition with a deadline
    }
    return true;
  }
  PresenterFigures Figures() { return host_->Figures(); }

  ZKLibrary library_;
  TestSecrets secrets_ = MakeTestSecrets();
  PresenterOptions options_;
  std::unique_ptr<PresenterHost> host_;
  std::thread serving_;
};

std::vector<uint8_t> Marker(int32_t x) {
  return *MakeMessageFrame(ZKP_ANNOTATION, AnnotationMessage{kAnnotationMarker, 0, x, 10, x + 16,
                                                             26, 0xFF});
}
}  // namespace

TEST_F(HostilePeers, FramesAnnouncedButNotSentCostNothingAndTooLongOnesAreRefused) {
  Serve();
  RawPeer viewer;
  Join(viewer);
  // Twenty-four announced frames of the largest size once took a 32-bit
  // presenter past its memory before a byte of them came.
  std::vector<std::unique_ptr<RawPeer>> peers;
  for (int i = 0; i < 24; ++i) {
    peers.push_back(std::make_unique<RawPeer>());
    ASSERT_TRUE(peers.back()->Join(host_->Port(), secrets_.invitation)) << peers.back()->Error();
    ASSERT_TRUE(peers.back()->SendBytes(HeaderBytes(ZKP_ANNOTATION, kMaxFramePayload)));
  }
  for (auto& peer : peers) EXPECT_TRUE(Await([&] { return peer->Ended(); })) << "not cut off";
  // A frame within the bound is held only as it arrives: a viewer may be
  // slow to send it.
  RawPeer slow;
  Join(slow);
  ASSERT_TRUE(slow.SendBytes(HeaderBytes(ZKP_ANNOTATION, kMaxViewerFramePayload)));
  standin::Queue(ZKP_MOUSEPOSITION, std::vector<uint8_t>(kMouseMessageSize));
  EXPECT_TRUE(Await([&] { return viewer.Count(ZKP_MOUSEPOSITION) == 1; }));
  EXPECT_FALSE(slow.Ended());
  EXPECT_FALSE(viewer.Ended());
}

TEST_F(HostilePeers, ConnectionsBeyondTheBoundAreClosedAtOnce) {
  Serve();
  std::vector<std::unique_ptr<RawPeer>> peers;
  for (size_t i = 0; i < kMaxViewerConnections; ++i) {
    peers.push_back(std::make_unique<RawPeer>());
    Join(*peers.back());
  }
  RawPeer beyond;
  EXPECT_FALSE(beyond.Join(host_->Port(), secrets_.invitation));
  EXPECT_NE(beyond.Error().find("as many viewers as it can"), std::string::npos) << beyond.Error();
  EXPECT_EQ(Figures().refusedConnections, 1u);
  // A place that frees up is taken again.
  peers.front()->Close();
  RawPeer next;
  EXPECT_TRUE(Await([&] {
    if (Figures().viewersConnected >= kMaxViewerConnections) return false;
    Join(next);
    return true;
  }));
  EXPECT_FALSE(next.Ended());
}

TEST_F(HostilePeers, RefusedInputIsAnsweredOnceUntilControlIsGranted) {
  options_.allowControl = true;
  Serve();
  RawPeer peer;
  Join(peer);
  WireFrame input = MakeMessageFrame(ZKP_MOUSEUPDATE, MouseMessage{5, 0x200, 0, {1, 1}});
  ASSERT_TRUE(peer.SendBytes(RepeatedFrame(input, 200)));
  EXPECT_TRUE(Await([&] { return Figures().refusedInput == 200; }));
  // The host answers in order: once the grant is here, every cancel that
  // was going to be sent for the refusals before it is here too.
  ASSERT_TRUE(peer.Send(ZKH_REQUESTCONTROL, ControlRequestMessage{}));
  ASSERT_TRUE(Await([&] { return peer.Count(ZKH_GRANTCONTROL) == 1; }));
  EXPECT_EQ(peer.Count(ZKP_CANCELINPUTCONTROL), 1);
  EXPECT_EQ(standin::Posted(ZKP_MOUSEUPDATE), 0);
  // Granted, then released: refused again, and told again, once.
  ASSERT_TRUE(peer.Send(ZKH_RELEASECONTROL, ControlReleaseMessage{}));
  ASSERT_TRUE(peer.SendBytes(RepeatedFrame(input, 50)));
  ASSERT_TRUE(Await([&] { return Figures().refusedInput == 250; }));
  ASSERT_TRUE(peer.Send(ZKH_REQUESTCONTROL, ControlRequestMessage{}));
  ASSERT_TRUE(Await([&] { return peer.Count(ZKH_GRANTCONTROL) == 2; }));
  EXPECT_EQ(peer.Count(ZKP_CANCELINPUTCONTROL), 2);
}

TEST_F(HostilePeers, AViewerThatFloodsIsCutOffAndTheOthersGoOn) {
  Serve();
  RawPeer viewer, flood;
  Join(viewer);
  Join(flood);
  WireFrame input = MakeMessageFrame(ZKP_KEYBOARDUPDATE, KeyboardMessage{1, 0x100, 'Q', 0});
  flood.SendBytes(RepeatedFrame(input, 3 * static_cast<int>(kViewerEventBurst)));
  EXPECT_TRUE(Await([&] { return flood.Ended(); }));
  // Cut off once the burst was spent, with what the rate earned meanwhile.
  EXPECT_LT(Figures().refusedInput, static_cast<uint64_t>(2 * kViewerEventBurst));
  standin::Queue(ZKP_MOUSEPOSITION, std::vector<uint8_t>(kMouseMessageSize));
  EXPECT_TRUE(Await([&] { return viewer.Count(ZKP_MOUSEPOSITION) == 1; }));
}

TEST(ViewerLinkAnswers, AViewerThatDoesNotReadItsAnswersIsCutOffAndTheyCountAsBacklog) {
  ViewerLink link(nullptr, 1, "", "", 1024, [](ViewerLink&, uint32_t, const std::vector<uint8_t>&) {});
  // Not started: nothing leaves, as for a viewer that reads nothing.
  WireFrame grant = MakeMessageFrame(ZKH_GRANTCONTROL, ControlGrantMessage{1});
  link.Answer(grant);
  EXPECT_EQ(link.OfferEvent(MakeWireFrame(ZKP_DISPLAYUPDATE, 1020, std::vector<uint8_t>(1020).data())),
            ViewerLink::Offer::kOverflow)
      << "the answer counts against the backlog";
  for (size_t sent = grant->size(); sent <= kMaxAnswerBytes && !link.IsClosed(); sent += grant->size())
    link.Answer(grant);
  EXPECT_TRUE(link.IsClosed());
  EXPECT_EQ(link.CloseReason(), "the viewer does not read its answers");
}

TEST_F(HostilePeers, MarksPassOnlyWhileAllowedAndInTheModeWithinTheirBounds) {
  Serve();
  RawPeer marking, watching;
  Join(marking);
  Join(watching);
  // Forbidden: neither posted nor relayed.
  ASSERT_TRUE(marking.Send(ZKP_ANNOTATIONMODE, AnnotationModeMessage{0, 1}));
  ASSERT_TRUE(marking.SendBytes(Marker(0)));
  EXPECT_TRUE(Await([&] { return Figures().refusedAnnotations == 2; }));

  host_->AllowAnnotation(true);
  // The mode request goes to the presenter's library alone, even under a
  // token copied from the presenter.
  ASSERT_TRUE(marking.Send(ZKP_ANNOTATIONMODE, AnnotationModeMessage{1, 1}));
  EXPECT_TRUE(Await([&] { return standin::Posted(ZKP_ANNOTATIONMODE) == 1; }));
  // Marks, one of them as large as a frame may be: only real marks pass.
  std::vector<uint8_t> oversized = Marker(0);
  oversized.resize(kEventHeaderSize + kMaxViewerFramePayload);
  WriteMessage(oversized.data(), EventHeader{ZKP_ANNOTATION, kMaxViewerFramePayload});
  ASSERT_TRUE(marking.SendBytes(oversized));
  for (size_t i = 0; i < kMaxMarksPerViewer + 10; ++i) ASSERT_TRUE(marking.SendBytes(Marker(int32_t(i))));
  const int passed = static_cast<int>(kMaxMarksPerViewer);
  EXPECT_TRUE(Await([&] { return watching.Count(ZKP_ANNOTATION) == passed; }));
  EXPECT_TRUE(Await([&] { return standin::Posted(ZKP_ANNOTATION) == passed; }));
  EXPECT_TRUE(Await([&] { return Figures().refusedAnnotations == 2 + 1 + 10; }));
  EXPECT_EQ(watching.Count(ZKP_ANNOTATIONMODE), 0);
  EXPECT_FALSE(marking.Ended());
}

TEST_F(HostilePeers, StrangersWithoutTheInvitationSeeNothingAndCannotCrowdOutAViewer) {
  Serve();
  standin::Queue(ZKP_MOUSEPOSITION, std::vector<uint8_t>(kMouseMessageSize));
  Invitation wrongKey = secrets_.invitation;
  wrongKey.key = "not-the-key-0123";
  RawPeer guesser;
  EXPECT_FALSE(guesser.Join(host_->Port(), wrongKey));
  EXPECT_NE(guesser.Error().find("refused the join key"), std::string::npos) << guesser.Error();
  Invitation otherPresenter = MakeTestSecrets().invitation;
  otherPresenter.key = secrets_.invitation.key;
  RawPeer misled;
  EXPECT_FALSE(misled.Join(host_->Port(), otherPresenter));
  EXPECT_NE(misled.Error().find("fingerprint"), std::string::npos) << misled.Error();

  // Silent connections past any bound, and connections that send what is
  // not TLS, while a viewer joins.
  std::vector<std::unique_ptr<RawPeer>> silent;
  for (int i = 0; i < 200; ++i) {
    silent.push_back(std::make_unique<RawPeer>());
    silent.back()->Connect(host_->Port());
  }
  RawPeer garbage;
  ASSERT_TRUE(garbage.Connect(host_->Port()));
  garbage.Send(ZKH_REQUESTCONTROL, ControlRequestMessage{});
  RawPeer viewer;
  Join(viewer);
  EXPECT_TRUE(Await([&] { return garbage.Ended(); }));
  // Those past the bound were given up for newcomers; the rest run out of time.
  EXPECT_TRUE(Await([&] { return Figures().failedJoins >= 200 - kMaxPendingJoins; }))
      << Figures().failedJoins;
  standin::Queue(ZKP_MOUSEPOSITION, std::vector<uint8_t>(kMouseMessageSize));
  EXPECT_TRUE(Await([&] { return viewer.Count(ZKP_MOUSEPOSITION) >= 1; }));
  for (auto& peer : silent) {
    EXPECT_EQ(peer->Count(ZKP_FULLUPDATE) + peer->Count(ZKP_MOUSEPOSITION), 0);
  }
  EXPECT_EQ(garbage.Count(ZKH_GRANTCONTROL), 0);
  EXPECT_EQ(Figures().viewersConnected, 1u);

  // A few wrong keys are mistakes; more shut the address out, right key or not.
  for (int i = 0; i <= JoinAttempts::kForgivenFailures; ++i)
    EXPECT_FALSE(RawPeer().Join(host_->Port(), wrongKey));
  RawPeer late;
  EXPECT_FALSE(late.Join(host_->Port(), secrets_.invitation));
  EXPECT_NE(late.Error().find("too many wrong keys"), std::string::npos)
      << late.Error();
}

TEST_F(HostilePeers, ControlWaitsForThePresentersAnswerAndCanBeTakenBack) {
  std::vector<std::string> notices;
  std::mutex noticesMutex;
  Serve([&](PresenterHost& host) {
    host.SetNotice([&](const std::string& line) {
      std::lock_guard<std::mutex> lock(noticesMutex);
      notices.push_back(line);
    });
  });
  RawPeer peer;
  Join(peer);
  const uint32_t number = peer.ViewerNumber();
  ASSERT_TRUE(peer.Send(ZKH_REQUESTCONTROL, ControlRequestMessage{}));
  ASSERT_TRUE(Await([&] { return host_->Viewers().size() == 1 && host_->Viewers()[0].asksForControl; }));
  {
    std::lock_guard<std::mutex> lock(noticesMutex);
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ(notices.back(), "viewer " + std::to_string(number) +
                                  " (raw peer) asks for control: allow " + std::to_string(number) +
                                  " or deny " + std::to_string(number));
  }
  // Input before an answer is refused.
  ASSERT_TRUE(peer.Send(ZKP_KEYBOARDUPDATE, KeyboardMessage{1, 0x100, 'Q', 0}));
  EXPECT_TRUE(Await([&] { return Figures().refusedInput == 1; }));
  EXPECT_TRUE(host_->DenyControl(number));
  EXPECT_TRUE(Await([&] { return peer.Count(ZKH_DENYCONTROL) == 1; }));
  EXPECT_FALSE(host_->AllowControl(number)) << "nothing asks any more";
  EXPECT_EQ(peer.Count(ZKH_GRANTCONTROL), 0);

  ASSERT_TRUE(peer.Send(ZKH_REQUESTCONTROL, ControlRequestMessage{}));
  ASSERT_TRUE(Await([&] { return host_->AllowControl(number); }));
  ASSERT_TRUE(Await([&] { return peer.Count(ZKH_GRANTCONTROL) == 1; }));
  ControlGrantMessage grant = {0};
  const std::vector<uint8_t> granted = peer.Events(ZKH_GRANTCONTROL)[0].payload;
  ASSERT_TRUE(ParseMessage(granted.data(), static_cast<uint32_t>(granted.size()), &grant));
  const uint32_t token = grant.token;
  ASSERT_TRUE(peer.Send(ZKP_KEYBOARDUPDATE, KeyboardMessage{token, 0x100, 'Q', 0}));
  EXPECT_TRUE(Await([&] { return standin::Posted(ZKP_KEYBOARDUPDATE) == 1; }));
  // Asking again while it holds control needs no new answer.
  ASSERT_TRUE(peer.Send(ZKH_REQUESTCONTROL, ControlRequestMessage{}));
  EXPECT_TRUE(Await([&] { return peer.Count(ZKH_GRANTCONTROL) == 2; }));
  const std::vector<uint8_t> regranted = peer.Events(ZKH_GRANTCONTROL)[1].payload;
  ASSERT_TRUE(ParseMessage(regranted.data(), static_cast<uint32_t>(regranted.size()), &grant));
  const uint32_t newest = grant.token;

  // Revoked: told at once, and its input goes no further.
  const int cancels = peer.Count(ZKP_CANCELINPUTCONTROL);
  EXPECT_EQ(host_->RevokeControl(), number);
  EXPECT_TRUE(Await([&] { return peer.Count(ZKP_CANCELINPUTCONTROL) == cancels + 1; }));
  ASSERT_TRUE(peer.Send(ZKP_KEYBOARDUPDATE, KeyboardMessage{newest, 0x101, 'Q', 0}));
  EXPECT_TRUE(Await([&] { return Figures().refusedInput == 2; }));
  EXPECT_EQ(standin::Posted(ZKP_KEYBOARDUPDATE), 1);
  EXPECT_EQ(host_->RevokeControl(), 0u);
}
