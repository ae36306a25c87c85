#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "EndToEndFixture.h"
#include "EventFraming.h"
#include "JoinHandshake.h"
#include "TcpSocket.h"
#include "TlsStream.h"
#include "events/MessageBytes.h"

namespace {

// Sets a flag once a deadline has passed, so that a blocking socket call
// waiting on that flag gives up.
class Deadline {
 public:
  explicit Deadline(double seconds)
      : thread_([this, seconds] {
          auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
          while (!done_ && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a clock, not a sync
          passed_ = true;
        }) {}
  ~Deadline() {
    done_ = true;
    thread_.join();
  }
  const std::atomic<bool>& Passed() const { return passed_; }

 private:
  std::atomic<bool> done_{false}, passed_{false};
  std::thread thread_;
};

// Reads events until `enough` says so, the stream ends, or the deadline.
// False when a frame was malformed.
bool ReadEvents(ByteStream& socket, double seconds, std::vector<uint32_t>* types,
                const std::function<bool()>& enough) {
  Deadline deadline(seconds);
  FrameReader reader;
  std::vector<uint8_t> buffer(64 * 1024);
  std::vector<ReceivedEvent> events;
  while (!enough()) {
    int received = socket.Receive(buffer.data(), static_cast<int>(buffer.size()), deadline.Passed());
    if (received <= 0) break;
    events.clear();
    if (!reader.Feed(buffer.data(), static_cast<size_t>(received), &events)) return false;
    for (const ReceivedEvent& e : events) types->push_back(e.type);
  }
  return true;
}

std::vector<uint8_t> Header(uint32_t type, uint32_t size) { return BytesOf(EventHeader{type, size}); }
}  // namespace

class NetworkFaults : public EndToEndFixture {};

TEST_F(NetworkFaults, SlowViewerIsResynchronisedWithoutStallingTheOthers) {
  ShowContent(Notepad(kAreaWidth, kAreaHeight));
  PresenterOptions options;
  options.backlogBound = 256 * 1024;
  options.admission.socketSendBuffer = 16 * 1024;
  ASSERT_NO_FATAL_FAILURE(StartPresenter(options));
  StartViewer(kViewerX, kViewerY);
  ASSERT_TRUE(WaitForMatch(kViewerX, kViewerY, Notepad(kAreaWidth, kAreaHeight), kFirstShowSeconds));

  // A viewer that joins and then reads nothing.
  std::unique_ptr<ByteStream> stalled = JoinAsRawViewer(16 * 1024);
  ASSERT_TRUE(stalled);
  ASSERT_TRUE(WaitUntil([&] { return Host().Figures().fullUpdates >= 2; }, kChangeSeconds));
  // Screens of noise compress badly: the stalled viewer's backlog grows.
  uint32_t seed = 1;
  auto start = std::chrono::steady_clock::now();
  while (Host().Figures().resyncs == 0 &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
    ShowContent(Noise(kAreaWidth, kAreaHeight, seed++));
    PumpFor(0.2);
  }
  ASSERT_GT(Host().Figures().resyncs, 0u);

  // The other viewer kept up all along and still follows.
  Picture photo = Photo(kAreaWidth, kAreaHeight);
  ShowContent(photo);
  EXPECT_TRUE(WaitForMatch(kViewerX, kViewerY, photo, kChangeSeconds));

  // Once the stalled viewer reads again, it gets well-formed frames and a
  // new full update to start over from.
  std::vector<uint32_t> types;
  auto containers = [&] { return std::count(types.begin(), types.end(), ZKP_FULLUPDATE) >= 2; };
  EXPECT_TRUE(ReadEvents(*stalled, kChangeSeconds, &types, containers));
  EXPECT_TRUE(containers());
  ASSERT_FALSE(types.empty());
  EXPECT_EQ(types.front(), ZKP_FULLUPDATE);
}

TEST_F(NetworkFaults, MalformedOrTruncatedFrameFromAViewerClosesOnlyThatConnection) {
  ShowContent(Notepad(kAreaWidth, kAreaHeight));
  ASSERT_NO_FATAL_FAILURE(StartPresenter());
  StartViewer(kViewerX, kViewerY);
  ASSERT_TRUE(WaitForMatch(kViewerX, kViewerY, Notepad(kAreaWidth, kAreaHeight), kFirstShowSeconds));

  std::unique_ptr<ByteStream> malformed = JoinAsRawViewer();
  std::unique_ptr<ByteStream> truncated = JoinAsRawViewer();
  ASSERT_TRUE(malformed && truncated);
  ASSERT_TRUE(WaitUntil([&] { return Host().Figures().viewersConnected == 3; }, kChangeSeconds));

  std::atomic<bool> never{false};
  std::vector<uint8_t> bad = Header(99, 4);
  ASSERT_TRUE(malformed->SendAll(bad.data(), bad.size(), never));
  std::vector<uint8_t> half = Header(3, 16);
  half.resize(half.size() + 5);  // eight header bytes, five of sixteen payload bytes
  ASSERT_TRUE(truncated->SendAll(half.data(), half.size(), never));
  truncated->Close();

  EXPECT_TRUE(WaitUntil([&] { return Host().Figures().viewersConnected == 1; }, kChangeSeconds));
  // The presenter closed the malformed sender's connection: its stream ends.
  std::vector<uint32_t> types;
  EXPECT_TRUE(ReadEvents(*malformed, kChangeSeconds, &types, [] { return false; }));

  Picture photo = Photo(kAreaWidth, kAreaHeight);
  ShowContent(photo);
  EXPECT_TRUE(WaitForMatch(kViewerX, kViewerY, photo, kChangeSeconds));
  EXPECT_EQ(Host().Figures().viewersConnected, 1u);
}

TEST_F(NetworkFaults, ViewCommandEndsOnAMalformedOrTruncatedFrame) {
  struct Case {
    std::vector<uint8_t> bytes;
    const char* reason;
  };
  std::vector<uint8_t> format = Header(0, 8);
  format.insert(format.end(), {7, 0, 0, 0, 64, 0, 48, 0});  // token 7, 64 x 48
  std::vector<uint8_t> malformed = format, truncated = format;
  std::vector<uint8_t> unknown = Header(77, 0);
  malformed.insert(malformed.end(), unknown.begin(), unknown.end());
  std::vector<uint8_t> cut = Header(1, 100);
  truncated.insert(truncated.end(), cut.begin(), cut.end());
  truncated.resize(truncated.size() + 10);

  // A presenter of the test's own, which admits the viewer as zkhost would.
  const TestSecrets secrets = MakeTestSecrets();
  for (const Case& c : {Case{malformed, "malformed frame"}, Case{truncated, "truncated frame"}}) {
    std::string error;
    TcpSocket listener = TcpSocket::Listen(0, &error);
    ASSERT_TRUE(listener.IsOpen()) << error;
    HostProcess view;
    ASSERT_TRUE(view.Start("view --connect 127.0.0.1:" + std::to_string(listener.LocalPort()) +
                               " --at 640,0 --invite " + FormatInvitation(secrets.invitation),
                           "view-fault.txt"));
    Deadline deadline(kFirstShowSeconds);
    auto accepted = std::make_unique<TcpSocket>(listener.Accept(deadline.Passed()));
    ASSERT_TRUE(accepted->IsOpen());
    std::atomic<bool> never{false};
    std::unique_ptr<ByteStream> presenter = TlsStream::Accept(
        std::move(accepted), *secrets.admission.identity, std::chrono::seconds(20), never, &error);
    ASSERT_TRUE(presenter) << error;
    std::string name;
    const JoinLimits limits = {std::chrono::steady_clock::now() + std::chrono::seconds(20), &never};
    ASSERT_EQ(ChallengeViewer(*presenter, secrets.admission.joinKey, limits, &name, &error),
              JoinVerdict::kProved)
        << error;
    ASSERT_TRUE(WelcomeViewer(*presenter, 1, limits));
    ASSERT_TRUE(presenter->SendAll(c.bytes.data(), c.bytes.size(), never));
    presenter->Close();
    DWORD code = 0;
    ASSERT_TRUE(view.WaitForExit(20000, &code));
    EXPECT_EQ(code, 1u);
    EXPECT_NE(view.Output().find(c.reason), std::string::npos) << view.Output();
  }
}

TEST_F(NetworkFaults, PresentCommandServesAViewerAndStopsOnRequest) {
  Picture notepad = Notepad(kAreaWidth, kAreaHeight);
  ShowContent(notepad);
  HostProcess present, view, stop;
  ASSERT_TRUE(present.Start("present --port 0 --desktop --rect 0,0," + std::to_string(kAreaWidth) +
                                "," + std::to_string(kAreaHeight),
                            "present.txt"));
  Presenting presenting;
  ASSERT_TRUE(AwaitPresenting(present, &presenting)) << present.Output();
  const std::string port = std::to_string(presenting.port);
  ASSERT_TRUE(view.Start("view --connect 127.0.0.1:" + port + " --at 640,0 --invite " +
                             presenting.invitation,
                         "view.txt"));
  MatchReport report;
  EXPECT_TRUE(WaitForMatch(kViewerX, kViewerY, notepad, kFirstShowSeconds, &report));

  ASSERT_TRUE(stop.Start("stop --port " + port, "stop.txt"));
  DWORD code = 1;
  ASSERT_TRUE(present.WaitForExit(20000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_NE(present.Output().find("full updates sent: 1"), std::string::npos) << present.Output();
  ASSERT_TRUE(view.WaitForExit(20000, &code));
  EXPECT_EQ(code, 0u) << view.Output();
}

class ViewerJoining : public EndToEndFixture {};

TEST_F(ViewerJoining, GetsThePointerWhereItRestsRightAfterItsFullUpdate) {
  ShowContent(Notepad(kAreaWidth, kAreaHeight));
  ASSERT_NO_FATAL_FAILURE(StartPresenter());
  // The presenter reports its pointer only when it moves; it moves before
  // anybody watches.
  MovePointer(kAreaX + kAreaWidth / 2, kAreaY + kAreaHeight / 2);
  ASSERT_TRUE(WaitUntil([&] { return Drained(ZKP_MOUSEPOSITION) > 0; }, kChangeSeconds));

  std::unique_ptr<ByteStream> viewer = JoinAsRawViewer();
  ASSERT_TRUE(viewer);
  std::vector<uint32_t> types;
  EXPECT_TRUE(ReadEvents(*viewer, kChangeSeconds, &types, [&] { return types.size() >= 2; }));
  ASSERT_GE(types.size(), 2u);
  EXPECT_EQ(types[0], ZKP_FULLUPDATE);
  EXPECT_EQ(types[1], ZKP_MOUSEPOSITION);
}
