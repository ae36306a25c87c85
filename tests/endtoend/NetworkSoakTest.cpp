// A presenter on a network, soaked: for ZK_SOAK_SECONDS (60 by default),
// strangers that connect by the hundred and never authenticate, stop their
// TLS handshakes half way, send garbage or guess the key, and invited
// viewers gone rogue that announce huge frames, flood refused input and
// marks, never read, and reconnect in loops, while a real viewer follows
// every change. The presenter's memory, handles and
// threads stay bounded while it lasts and come back to idle after.
//
// Annotation stays forbidden, as a presenter starts: a viewer allowed to
// annotate may freeze everyone's picture by right, which would leave nothing
// to follow. Marks that are allowed are bounded by the host's gate and the
// library, each tested on its own.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "EndToEndFixture.h"
#include "PeerLimits.h"
#include "RawPeer.h"
#include "TcpSocket.h"
#include "TlsStream.h"
#include "events/AnnotationMessages.h"
#include "events/ControlTokenMessages.h"
#include "events/InputMessages.h"

namespace {
using Clock = std::chrono::steady_clock;

double SoakSeconds() {
  const char* text = std::getenv("ZK_SOAK_SECONDS");
  return text && std::atof(text) > 0 ? std::atof(text) : 60;
}

// Where the attack goes: the presenter's port, and its invitation for the
// peers that have one (an invited viewer gone rogue).
struct Target {
  int port;
  Invitation invitation;
};

// One kind of hostile peer, over and over on a thread of its own until the
// soak ends. Each round opens its own connections and lets them go; none of
// its calls outlasts the end of the soak.
class Attacker {
 public:
  using Round = std::function<void(const Target& target, const std::atomic<bool>& stop)>;
  Attacker(const Target& target, Round round)
      : thread_([this, target, round] {
          while (!stop_) {
            round(target, stop_);
            ++rounds_;
          }
        }) {}
  ~Attacker() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int Rounds() const { return rounds_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<int> rounds_{0};
  std::thread thread_;
};

// Holds the round for a while unless the soak ends first.
void Hold(double seconds, const std::atomic<bool>& stop) {
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (!stop && Clock::now() < end) Sleep(50);  // pacing the attack, not waiting for an event
}

std::vector<std::unique_ptr<RawPeer>> Strangers(const Target& target, int count,
                                                const std::atomic<bool>& stop) {
  std::vector<std::unique_ptr<RawPeer>> peers;
  for (int i = 0; i < count && !stop; ++i) {
    peers.push_back(std::make_unique<RawPeer>(&stop));
    peers.back()->Connect(target.port);
  }
  return peers;
}

// Strangers: no invitation.

void HundredsThatNeverAuthenticate(const Target& target, const std::atomic<bool>& stop) {
  auto peers = Strangers(target, 200, stop);
  Hold(2, stop);
}

void Garbage(const Target& target, const std::atomic<bool>& stop) {
  static thread_local std::mt19937 random(7);
  RawPeer peer(&stop);
  if (!peer.Connect(target.port)) return;
  std::vector<uint8_t> bytes(4096);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  peer.SendBytes(bytes);
  Hold(0.1, stop);
}

// A TLS client whose handshake stops after its first flight.
class StallingStream : public ByteStream {
 public:
  explicit StallingStream(std::unique_ptr<ByteStream> inner) : inner_(std::move(inner)) {}
  int TrySend(const uint8_t* data, size_t length) override {
    return flights_++ == 0 ? inner_->TrySend(data, length) : kWouldBlock;
  }
  int TryReceive(uint8_t* buffer, size_t capacity) override { return inner_->TryReceive(buffer, capacity); }
  bool WaitReadable(int timeoutMs) override { return inner_->WaitReadable(timeoutMs); }
  bool WaitWritable(int timeoutMs) override {
    Sleep(timeoutMs);  // never writable again, as a peer gone quiet
    return false;
  }
  void Interrupt() override { inner_->Interrupt(); }
  void Close() override { inner_->Close(); }

 private:
  std::unique_ptr<ByteStream> inner_;
  int flights_ = 0;
};

void HalfOpenHandshakes(const Target& target, const std::atomic<bool>& stop) {
  std::string error;
  auto socket = std::make_unique<TcpSocket>(
      TcpSocket::Connect("127.0.0.1", static_cast<uint16_t>(target.port), &error));
  if (!socket->IsOpen()) return;
  TlsStream::Connect(std::make_unique<StallingStream>(std::move(socket)),
                     target.invitation.fingerprint, std::chrono::seconds(3), stop, &error);
}

void WrongKeys(const Target& target, const std::atomic<bool>& stop) {
  Invitation wrong = target.invitation;
  wrong.key = "guessing" + std::to_string(GetTickCount());
  RawPeer(&stop).Join(target.port, wrong);
  Hold(0.5, stop);
}

// Invited viewers gone rogue.

void HugeFrames(const Target& target, const std::atomic<bool>& stop) {
  RawPeer peer(&stop);
  if (!peer.Join(target.port, target.invitation)) return Hold(0.5, stop);
  peer.SendBytes(HeaderBytes(ZKP_ANNOTATION, kMaxFramePayload));
  for (int i = 0; i < 20 && !peer.Ended(); ++i) Hold(0.05, stop);
}

void RefusedInput(const Target& target, const std::atomic<bool>& stop) {
  RawPeer peer(&stop);
  if (!peer.Join(target.port, target.invitation)) return Hold(0.5, stop);
  WireFrame input = MakeMessageFrame(ZKP_KEYBOARDUPDATE, KeyboardMessage{9, 0x100, 'Z', 0});
  // Within the rate for a while, then far beyond it.
  for (int burst = 0; burst < 10 && !stop && !peer.Ended(); ++burst) {
    peer.SendBytes(RepeatedFrame(input, 100));
    Hold(0.25, stop);
  }
  peer.SendBytes(RepeatedFrame(input, 5000));
}

void Marks(const Target& target, const std::atomic<bool>& stop) {
  RawPeer peer(&stop);
  if (!peer.Join(target.port, target.invitation)) return Hold(0.5, stop);
  peer.Send(ZKP_ANNOTATIONMODE, AnnotationModeMessage{0, 1});
  for (int round = 0; round < 20 && !stop && !peer.Ended(); ++round) {
    std::vector<uint8_t> marks;
    for (int i = 0; i < 40; ++i) {
      WireFrame mark = MakeMessageFrame(
          ZKP_ANNOTATION, AnnotationMessage{kAnnotationHighlight, 0, i, i, i + 50, i + 50, 0});
      marks.insert(marks.end(), mark->begin(), mark->end());
    }
    peer.SendBytes(marks);
    Hold(0.2, stop);
  }
}

void NeverReads(const Target& target, const std::atomic<bool>& stop) {
  std::vector<std::unique_ptr<RawPeer>> peers(4);
  for (auto& peer : peers)
    (peer = std::make_unique<RawPeer>(&stop))->Join(target.port, target.invitation, false, 4096);
  // Requests for control wait on the presenter's side; the stream piles up.
  for (int i = 0; i < 20 && !stop; ++i) {
    for (auto& peer : peers) peer->Send(ZKH_REQUESTCONTROL, ControlRequestMessage{});
    Hold(0.25, stop);
  }
}

void Reconnects(const Target& target, const std::atomic<bool>& stop) {
  RawPeer(&stop).Join(target.port, target.invitation);
  Hold(0.1, stop);
}

class NetworkSoak : public EndToEndFixture {
 protected:
  struct Peak {
    void Take(const HostProcess::Usage& usage) {
      committed = std::max(committed, usage.committedBytes);
      threads = std::max(threads, usage.threads);
      handles = std::max(handles, usage.handles);
    }
    uint64_t committed = 0;
    int threads = 0, handles = 0;
  };

  static void Print(const char* when, const HostProcess::Usage& usage) {
    std::printf("presenter %s: %.1f MB committed (peak %.1f MB), %d threads, %d handles\n", when,
                usage.committedBytes / 1048576.0, usage.peakCommittedBytes / 1048576.0,
                usage.threads, usage.handles);
  }
};
}  // namespace

TEST_F(NetworkSoak, APresenterUnderAttackServesItsViewerAndGivesEverythingBack) {
  const Picture pictures[] = {Notepad(kAreaWidth, kAreaHeight), Photo(kAreaWidth, kAreaHeight),
                              Source(kAreaWidth, kAreaHeight)};
  ShowContent(pictures[0]);
  HostProcess presenter;
  ASSERT_TRUE(presenter.Start("present --port 0 --desktop --rect 0,0," +
                                  std::to_string(kAreaWidth) + "," + std::to_string(kAreaHeight),
                              "present-soak.txt"));
  Presenting presenting;
  ASSERT_TRUE(AwaitPresenting(presenter, &presenting)) << presenter.Output();
  HostProcess viewer;
  ASSERT_TRUE(viewer.Start("view --connect 127.0.0.1:" + std::to_string(presenting.port) +
                               " --invite " + presenting.invitation + " --at " +
                               std::to_string(kViewerX) + "," + std::to_string(kViewerY),
                           "view-soak.txt"));
  ASSERT_TRUE(WaitForMatch(kViewerX, kViewerY, pictures[0], kFirstShowSeconds));
  PumpFor(1);  // observation: the presenter settles after the first picture
  const HostProcess::Usage before = presenter.TakeUsage();
  Print("before", before);

  const double seconds = SoakSeconds();
  Target target = {presenting.port, {}};
  ASSERT_TRUE(ParseInvitation(presenting.invitation, &target.invitation));
  std::vector<std::unique_ptr<Attacker>> attackers;
  for (Attacker::Round round : {HundredsThatNeverAuthenticate, Garbage, HalfOpenHandshakes,
                                WrongKeys, HugeFrames, RefusedInput, Marks, NeverReads, Reconnects})
    attackers.push_back(std::make_unique<Attacker>(target, round));

  Peak peak;
  int changes = 0;
  double slowest = 0;
  const auto start = Clock::now();
  while (std::chrono::duration<double>(Clock::now() - start).count() < seconds) {
    const Picture& next = pictures[++changes % 3];
    ShowContent(next);
    const auto shown = Clock::now();
    MatchReport report;
    ASSERT_TRUE(WaitForMatch(kViewerX, kViewerY, next, kChangeSeconds, &report))
        << "change " << changes << ": " << report.mismatched << " of " << report.pixels
        << " pixels differ";
    slowest = std::max(slowest, std::chrono::duration<double>(Clock::now() - shown).count());
    peak.Take(presenter.TakeUsage());
    ASSERT_TRUE(presenter.IsRunning()) << presenter.Output();
    PumpFor(1);  // observation: the picture stands a while under attack
  }
  for (auto& attacker : attackers) attacker->Stop();
  std::printf("%d changes followed under attack, the slowest in %.2f s; rounds:", changes,
              slowest);
  for (auto& attacker : attackers) std::printf(" %d", attacker->Rounds());
  std::printf("\n");
  Print("at its peak", {peak.committed, 0, peak.threads, peak.handles});

  // Bounded while it lasted: a viewer's link takes two threads, an admission
  // one, and what peers can make it hold is a few megabytes each at most.
  EXPECT_LE(peak.threads, before.threads + 2 * static_cast<int>(kMaxViewerConnections) +
                              static_cast<int>(kMaxAdmissionThreads) + 8);
  EXPECT_LE(peak.committed, before.committedBytes + (256u << 20));

  // And back to idle once the peers have gone.
  HostProcess::Usage after;
  const bool idle = WaitUntil(
      [&] {
        after = presenter.TakeUsage();
        return after.threads <= before.threads && after.handles <= before.handles + 16 &&
               after.committedBytes <= before.committedBytes + (32u << 20);
      },
      kChangeSeconds);
  Print("after", after);
  EXPECT_TRUE(idle);
  EXPECT_LE(after.threads, before.threads);
  EXPECT_LE(after.handles, before.handles + 16);
  EXPECT_LE(after.committedBytes, before.committedBytes + (32u << 20));
  ShowContent(pictures[0]);
  EXPECT_TRUE(WaitForMatch(kViewerX, kViewerY, pictures[0], kChangeSeconds)) << "it still serves";
  presenter.WriteInput("stop\n");
  DWORD code = 99;
  EXPECT_TRUE(presenter.WaitForExit(20000, &code));
  EXPECT_EQ(code, 0u) << presenter.Output();
  EXPECT_TRUE(viewer.WaitForExit(20000, &code));
}
