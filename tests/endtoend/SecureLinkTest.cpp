// The link between zkhost processes: only a viewer with the presenter's
// invitation sees anything, and what travels is TLS from the first byte.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "EndToEndFixture.h"
#include "JoinHandshake.h"
#include "TcpSocket.h"
#include "TlsStream.h"
#include "events/ControlTokenMessages.h"
#include "events/DisplayMessages.h"

namespace {
// Everything a stream gives until it ends or the time is up, as frames where
// it can be read as frames.
std::vector<uint8_t> ReadToEnd(ByteStream& stream, double seconds) {
  std::atomic<bool> late{false}, done{false};
  std::thread clock([&] {
    const DWORD start = GetTickCount();
    while (!done && GetTickCount() - start < seconds * 1000) Sleep(20);  // a deadline's clock
    late = true;
  });
  std::vector<uint8_t> bytes;
  uint8_t buffer[4096];
  for (int got; (got = stream.Receive(buffer, sizeof buffer, late)) > 0;)
    bytes.insert(bytes.end(), buffer, buffer + got);
  const bool closed = !late;
  done = true;
  clock.join();
  EXPECT_TRUE(closed) << "the presenter kept the connection open";
  return bytes;
}

// The types of the frames in bytes that follow a join's refusal.
std::vector<uint32_t> FrameTypes(const std::vector<uint8_t>& bytes) {
  FrameReader reader;
  std::vector<ReceivedEvent> events;
  reader.Feed(bytes.data(), bytes.size(), &events);
  std::vector<uint32_t> types;
  for (const ReceivedEvent& event : events) types.push_back(event.type);
  return types;
}

// A TCP relay between a viewer and the presenter that keeps what the
// presenter sent, as a capture of the wire would.
class Relay {
 public:
  explicit Relay(int presenterPort) {
    std::string error;
    listener_ = TcpSocket::Listen(0, &error, true);
    thread_ = std::thread([this, presenterPort] { Run(presenterPort); });
  }
  ~Relay() {
    stop_ = true;
    listener_.Interrupt();
    thread_.join();
  }
  int Port() const { return listener_.LocalPort(); }
  std::vector<uint8_t> FromPresenter() {
    std::lock_guard<std::mutex> lock(mutex_);
    return fromPresenter_;
  }

 private:
  void Run(int presenterPort) {
    TcpSocket viewer = listener_.Accept(stop_);
    std::string error;
    TcpSocket presenter =
        TcpSocket::Connect("127.0.0.1", static_cast<uint16_t>(presenterPort), &error);
    std::thread up([&] { Pass(viewer, presenter, nullptr); });
    Pass(presenter, viewer, &fromPresenter_);
    up.join();
  }
  void Pass(TcpSocket& from, TcpSocket& to, std::vector<uint8_t>* kept) {
    uint8_t buffer[16384];
    for (int got; (got = from.Receive(buffer, sizeof buffer, stop_)) > 0;) {
      if (kept) {
        std::lock_guard<std::mutex> lock(mutex_);
        kept->insert(kept->end(), buffer, buffer + got);
      }
      if (!to.SendAll(buffer, static_cast<size_t>(got), stop_)) return;
    }
  }

  TcpSocket listener_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<uint8_t> fromPresenter_;
  std::thread thread_;
};

// Walks TLS records (type, version 3.3, length); false at the first byte
// that is not where a record must start.
bool AllTlsRecords(const std::vector<uint8_t>& bytes, int* applicationRecords) {
  size_t at = 0;
  *applicationRecords = 0;
  while (at + 5 <= bytes.size()) {
    const uint8_t type = bytes[at];
    if (type < 0x14 || type > 0x17 || bytes[at + 1] != 3 || bytes[at + 2] != 3) return false;
    *applicationRecords += type == 0x17;
    at += 5 + (bytes[at + 3] << 8 | bytes[at + 4]);
  }
  return at >= bytes.size();
}
}  // namespace

class SecureLink : public EndToEndFixture {};

TEST_F(SecureLink, AViewerWithoutTheInvitationSeesNoPixelAndCannotAskForControl) {
  ShowContent(Notepad(kAreaWidth, kAreaHeight));
  ASSERT_NO_FATAL_FAILURE(StartPresenter());
  std::atomic<bool> never{false};
  std::string error;
  auto connect = [&] {
    return std::make_unique<TcpSocket>(
        TcpSocket::Connect("127.0.0.1", static_cast<uint16_t>(PresenterPort()), &error));
  };

  // The right certificate, a wrong key: refused, then nothing but the end.
  std::unique_ptr<ByteStream> wrongKey = TlsStream::Connect(
      connect(), PresenterInvitation().fingerprint, std::chrono::seconds(10), never, &error);
  ASSERT_TRUE(wrongKey) << error;
  const JoinLimits limits = {std::chrono::steady_clock::now() + std::chrono::seconds(10), &never};
  uint32_t number = 0;
  EXPECT_FALSE(JoinPresenter(*wrongKey, "wrong-key-but-well-formed", "stranger", limits, &number,
                             &error));
  EXPECT_NE(error.find("refused the join key"), std::string::npos) << error;
  WireFrame request = MakeMessageFrame(ZKH_REQUESTCONTROL, ControlRequestMessage{});
  wrongKey->SendAll(request->data(), request->size(), never);
  EXPECT_TRUE(FrameTypes(ReadToEnd(*wrongKey, 20)).empty());

  // Another certificate (a man in the middle would have one): the viewer
  // stops at the handshake.
  EXPECT_FALSE(TlsStream::Connect(connect(), MakeTestSecrets().invitation.fingerprint,
                                  std::chrono::seconds(10), never, &error));
  EXPECT_NE(error.find("fingerprint"), std::string::npos) << error;

  // No invitation at all: frames in the clear get no frame back.
  std::unique_ptr<TcpSocket> plain = connect();
  plain->SendAll(request->data(), request->size(), never);
  const std::vector<uint8_t> answer = ReadToEnd(*plain, 20);
  EXPECT_TRUE(answer.empty() || answer[0] == 0x15) << "at most a TLS alert";

  // zkhost view says why it cannot join, and shows nothing.
  const std::string connectTo = "view --at 640,0 --connect 127.0.0.1:" + std::to_string(PresenterPort());
  Invitation other = MakeTestSecrets().invitation;
  Invitation otherKey = PresenterInvitation();
  otherKey.key = "another1key2";
  struct Case {
    std::string invite;
    DWORD code;
    const char* reason;
  };
  for (const Case& c : {Case{"", 2, "needs the presenter's invitation"},
                        Case{" --invite " + FormatInvitation(otherKey), 1, "refused the join key"},
                        Case{" --invite " + FormatInvitation(other), 1, "fingerprint"}}) {
    HostProcess view;
    ASSERT_TRUE(view.Start(connectTo + c.invite, "view-stranger.txt"));
    DWORD code = 0;
    ASSERT_TRUE(view.WaitForExit(30000, &code));
    EXPECT_EQ(code, c.code) << view.Output();
    EXPECT_NE(view.Output().find(c.reason), std::string::npos) << view.Output();
  }
  const PresenterFigures figures = Host().Figures();
  EXPECT_EQ(figures.fullUpdates, 0u);
  EXPECT_EQ(figures.viewersAccepted, 0u);
  EXPECT_EQ(figures.controlGrants, 0u);
  EXPECT_GE(figures.wrongKeys, 2u);
}

TEST_F(SecureLink, WhatTheViewerReceivesIsTlsFromTheFirstByte) {
  const Picture photo = Photo(kAreaWidth, kAreaHeight);
  ShowContent(photo);
  ASSERT_NO_FATAL_FAILURE(StartPresenter());
  Relay relay(PresenterPort());
  HostProcess view;
  ASSERT_TRUE(view.Start("view --at " + std::to_string(kViewerX) + "," + std::to_string(kViewerY) +
                             " --connect 127.0.0.1:" + std::to_string(relay.Port()) +
                             " --invite " + FormatInvitation(PresenterInvitation()),
                         "view-relayed.txt"));
  ASSERT_TRUE(WaitForMatch(kViewerX, kViewerY, photo, kFirstShowSeconds)) << view.Output();

  const std::vector<uint8_t> wire = relay.FromPresenter();
  int applicationRecords = 0;
  EXPECT_TRUE(AllTlsRecords(wire, &applicationRecords));
  EXPECT_GT(applicationRecords, 0);
  // The display format the viewer was sent, as it would stand in the clear.
  const std::vector<uint8_t> format = *MakeMessageFrame(
      ZKP_DISPLAYFORMAT, DisplayFormatMessage{7, kAreaWidth, kAreaHeight});
  EXPECT_EQ(std::search(wire.begin(), wire.end(), format.begin() + kEventHeaderSize, format.end()),
            wire.end());
  view.WriteInput("stop\n");
  DWORD code = 0;
  EXPECT_TRUE(view.WaitForExit(20000, &code));
}
