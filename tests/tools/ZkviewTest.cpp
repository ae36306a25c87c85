// zkview as a program, against a presenter made of the link library on a
// loopback port: what it prints, saves and exits with when the presenter
// ends the session, when time is up, when it cannot get in, and when what
// arrives is malformed.
#include <gtest/gtest.h>
#include <mbedtls/sha256.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "EventFraming.h"
#include "Invitation.h"
#include "JoinHandshake.h"
#include "NatsServerKit.h"
#include "NatsSessionKit.h"
#include "PictureFile.h"
#include "PosixSocket.h"
#include "TlsStream.h"
#include "frames/ViewerStreams.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr uint32_t kToken = 3;
constexpr int32_t kWidth = 16, kHeight = 8;

struct StandInOptions {
  bool keepOpen = false;  // wait for the viewer to go instead of closing
  bool bridge = false;    // plain, as a presenter's bridge port is
};

// One presenter for one viewer: it admits a viewer that proves its key,
// sends `frames`, then closes the session or waits for the viewer to go.
class StandInPresenter {
 public:
  explicit StandInPresenter(std::vector<WireFrame> frames, StandInOptions options = {})
      : frames_(std::move(frames)), options_(options) {
    std::string error;
    identity_ = std::make_unique<TlsIdentity>(TlsIdentity::Generate(&error));
    MakeJoinKey(&key_);
    listener_ = PosixSocket::Listen(0, &error);
    thread_ = std::thread(&StandInPresenter::Serve, this);
  }
  ~StandInPresenter() {
    cancel_ = true;
    thread_.join();
  }
  std::string Invite() const { return FormatInvitation({key_, identity_->Fingerprint()}); }
  std::string Address() const { return "127.0.0.1:" + std::to_string(listener_.LocalPort()); }

 private:
  void Serve() {
    auto socket = std::make_unique<PosixSocket>(listener_.Accept(cancel_));
    if (!socket->IsOpen()) return;
    std::string error, name;
    std::unique_ptr<ByteStream> stream = std::move(socket);
    if (!options_.bridge)
      stream = TlsStream::Accept(std::move(stream), *identity_, std::chrono::seconds(10), cancel_, &error);
    if (!stream) return;
    const JoinLimits limits = {Clock::now() + std::chrono::seconds(10), &cancel_};
    const JoinVerdict verdict = ChallengeViewer(*stream, key_, limits, &name, &error);
    if (verdict != JoinVerdict::kProved) return RefuseViewer(*stream, JoinRefusal::kWrongKey, limits);
    WelcomeViewer(*stream, 1, limits);
    for (const WireFrame& frame : frames_) stream->SendAll(frame->data(), frame->size(), cancel_);
    uint8_t byte;
    if (options_.keepOpen) while (stream->Receive(&byte, 1, cancel_) > 0) {}
    stream->Close();
  }

  std::vector<WireFrame> frames_;
  const StandInOptions options_;
  std::unique_ptr<TlsIdentity> identity_;
  std::string key_;
  PosixSocket listener_;
  std::atomic<bool> cancel_{false};
  std::thread thread_;
};

struct ProgramRun {
  int exitCode = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string TempPath(const std::string& name) { return ::testing::TempDir() + "zkview-" + name; }

ProgramRun RunZkview(const std::string& arguments) {
  const std::string out = TempPath("out.txt"), err = TempPath("err.txt");
  const std::string command = std::string(ZKVIEW_PATH) + " " + arguments + " >" + out + " 2>" + err;
  const int status = std::system(command.c_str());
  ProgramRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = Slurp(out);
  run.err = Slurp(err);
  return run;
}

WireFrame Frame(uint32_t type, const std::vector<uint8_t>& payload) {
  return MakeWireFrame(type, static_cast<uint32_t>(payload.size()), payload.data());
}

// The whole frame of a pattern, as a presenter sends it to a new viewer.
std::vector<WireFrame> WholePicture(const Pixels& picture) {
  CompressionMgr codec;
  return {Frame(ZKP_DISPLAYFORMAT, FormatPayload(kToken, kWidth, kHeight)),
          Frame(ZKP_DISPLAYUPDATE, UpdatePayload(kToken, 0, 0, kWidth, kHeight,
                                                 CompressPicture(codec, picture, nullptr)))};
}

// What the picture line must say, worked out here rather than by zkview's
// code: packed pixels are bottom-up blue-green-red.
std::string ExpectedLine(const Pixels& picture) {
  std::vector<uint8_t> rgb;
  for (int32_t y = kHeight - 1; y >= 0; --y)
    for (int32_t x = 0; x < kWidth; ++x) {
      const uint8_t* p = &picture[(static_cast<size_t>(y) * kWidth + x) * 3];
      rgb.insert(rgb.end(), {p[2], p[1], p[0]});
    }
  uint8_t digest[32];
  mbedtls_sha256_ret(rgb.data(), rgb.size(), digest, 0);
  char hex[65];
  for (int i = 0; i < 32; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return "picture " + std::to_string(kWidth) + "x" + std::to_string(kHeight) + " sha256 " + hex;
}
}  // namespace

TEST(Zkview, APresenterEndingLeavesItsPictureSavedAndNamedAndExitsZero) {
  const Pixels picture = PatternPicture(kWidth, kHeight, 1);
  StandInPresenter presenter(WholePicture(picture));
  const std::string png = TempPath("ended.png");
  std::remove(png.c_str());
  const ProgramRun run = RunZkview("--connect " + presenter.Address() + " --invite " + presenter.Invite() +
                            " --seconds 60 --save " + png);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(ExpectedLine(picture) + "\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("figures events 2 applied 2 display-updates 1"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("the presenter closed the connection"), std::string::npos) << run.err;
  Picture saved;
  std::string error;
  ASSERT_TRUE(ReadPictureFile(png, saved, error)) << error;
  EXPECT_EQ(saved.width, uint32_t(kWidth));
  EXPECT_EQ(saved.height, uint32_t(kHeight));
  EXPECT_EQ(saved.pixels, picture);
}

TEST(Zkview, TimeUpEndsInOrderWithThePictureSoFar) {
  const Pixels picture = PatternPicture(kWidth, kHeight, 2);
  StandInPresenter presenter(WholePicture(picture), {/*keepOpen=*/true});
  const ProgramRun run = RunZkview("--connect " + presenter.Address() + " --invite " + presenter.Invite() +
                            " --seconds 0.5");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(ExpectedLine(picture)), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("time is up"), std::string::npos) << run.err;
}

TEST(Zkview, ABridgePortIsJoinedPlainWithTheKey) {
  const Pixels picture = PatternPicture(kWidth, kHeight, 4);
  StandInPresenter presenter(WholePicture(picture), {/*keepOpen=*/false, /*bridge=*/true});
  const ProgramRun run = RunZkview("--connect " + presenter.Address() + " --invite " +
                                   presenter.Invite() + " --bridge --seconds 60");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(ExpectedLine(picture)), std::string::npos) << run.out;
}

TEST(Zkview, AWrongKeyIsRefusedWithTheReason) {
  StandInPresenter presenter({});
  std::string invite = presenter.Invite();
  invite.replace(0, invite.find('-'), "wrongkey0wrongkey0");
  const ProgramRun run = RunZkview("--connect " + presenter.Address() + " --invite " + invite);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("not admitted by " + presenter.Address()), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(DescribeRefusal(uint8_t(JoinRefusal::kWrongKey))), std::string::npos)
      << run.err;
  EXPECT_EQ(run.out.find("picture"), std::string::npos) << run.out;
}

TEST(Zkview, AnotherPresentersCertificateIsRefused) {
  StandInPresenter presenter({}), other({});
  std::string invite = presenter.Invite();
  const std::string otherInvite = other.Invite();
  invite.replace(invite.find('-'), std::string::npos, otherInvite.substr(otherInvite.find('-')));
  const ProgramRun run = RunZkview("--connect " + presenter.Address() + " --invite " + invite);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("no secure link to " + presenter.Address()), std::string::npos) << run.err;
}

TEST(Zkview, AnUnreachablePortIsReported) {
  std::string error;
  uint16_t port;
  {
    PosixSocket listener = PosixSocket::Listen(0, &error);
    port = listener.LocalPort();
  }  // closed: nobody listens there now
  StandInPresenter presenter({});
  const ProgramRun run = RunZkview("--connect 127.0.0.1:" + std::to_string(port) + " --invite " +
                            presenter.Invite() + " --connect-seconds 0");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot reach 127.0.0.1:" + std::to_string(port)), std::string::npos)
      << run.err;
}

TEST(Zkview, AMalformedEventEndsTheSessionNotInOrder) {
  const Pixels picture = PatternPicture(kWidth, kHeight, 3);
  std::vector<WireFrame> frames = WholePicture(picture);
  const std::vector<uint8_t> garbage(40, 0xEE);
  frames.push_back(Frame(ZKP_DISPLAYUPDATE, UpdatePayload(kToken, 0, 0, kWidth, kHeight, garbage)));
  StandInPresenter presenter(frames, {/*keepOpen=*/true});
  const ProgramRun run = RunZkview("--connect " + presenter.Address() + " --invite " + presenter.Invite() +
                            " --seconds 60");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("refused a malformed event of type 1"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find(ExpectedLine(picture)), std::string::npos) << "the picture before it stays";
}

TEST(Zkview, ASessionThroughANatsServerIsFollowedFromItsFullUpdateToItsEnd) {
  std::string error;
  auto server = NatsServer::Start("max_payload: 4096\n", &error);
  ASSERT_TRUE(server) << error;
  const Pixels picture = PatternPicture(kWidth, kHeight, 5);
  const std::string session = "zkview-" + std::to_string(::getpid());
  StandInNatsHost host(server->Url(), session);
  ASSERT_TRUE(host.Start(&error)) << error;
  // The whole picture stands in for the full update: one message for joiners.
  host.SetFullUpdate(WholePicture(picture));
  std::thread ender([&] {
    // Ends the session once zkview has its picture.
    StandInNatsHost::Eventually([&] { return host.Audience().ContainersPublished() == 1; },
                                std::chrono::seconds(20));
    host.Audience().Stop();
  });
  const std::string png = TempPath("nats.png");
  std::remove(png.c_str());
  const ProgramRun run = RunZkview("--nats " + server->Url() + " --session " + session +
                                   " --seconds 30 --save " + png);
  ender.join();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(ExpectedLine(picture) + "\n"), std::string::npos) << run.out;
  Picture saved;
  ASSERT_TRUE(ReadPictureFile(png, saved, error)) << error;
  EXPECT_EQ(saved.pixels, picture);
}

TEST(Zkview, ANatsServersAdmissionIsByTheCredentialsInTheUrl) {
  std::string error;
  auto server = NatsServer::Start("authorization { user: watcher, password: s3cret }\n", &error);
  ASSERT_TRUE(server) << error;
  const std::string session = "zkview-auth-" + std::to_string(::getpid());
  StandInNatsHost host(server->Url("watcher:s3cret"), session);
  ASSERT_TRUE(host.Start(&error)) << error;
  const Pixels picture = PatternPicture(kWidth, kHeight, 6);
  host.SetFullUpdate(WholePicture(picture));

  const ProgramRun refused = RunZkview("--nats " + server->Url("watcher:wrong") + " --session " +
                                       session + " --connect-seconds 1");
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("no NATS server let this viewer in"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("uthorization"), std::string::npos) << refused.err;
  EXPECT_EQ(refused.out.find("picture"), std::string::npos) << refused.out;

  const ProgramRun admitted = RunZkview("--nats " + server->Url("watcher:s3cret") + " --session " +
                                        session + " --seconds 1.5");
  EXPECT_EQ(admitted.exitCode, 0) << admitted.err;
  EXPECT_NE(admitted.out.find(ExpectedLine(picture)), std::string::npos) << admitted.out;
}

TEST(Zkview, NoNatsServerAnsweringIsReported) {
  std::string error;
  uint16_t port;
  {
    PosixSocket listener = PosixSocket::Listen(0, &error);
    port = listener.LocalPort();
  }  // closed: nobody listens there now
  const ProgramRun run = RunZkview("--nats nats://127.0.0.1:" + std::to_string(port) +
                                   " --session s --connect-seconds 0.5");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("zkview: no NATS server let this viewer in"), std::string::npos) << run.err;
}
