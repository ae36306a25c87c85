// A viewer's admission: the invitation's text, the key's proof over real
// loopback connections (plain, as a bridge on the presenter's machine has
// it, and under TLS), and how wrong keys are slowed down.
#include <gtest/gtest.h>

#include <thread>

#include "EventFraming.h"
#include "Invitation.h"
#include "JoinAttempts.h"
#include "JoinHandshake.h"
#include "LinkTestKit.h"

namespace {
using Clock = std::chrono::steady_clock;

Invitation Sample() {
  Invitation invitation;
  invitation.key = "k3v7p2mq9x4hd6tw8rjcn5bfya";
  for (size_t i = 0; i < invitation.fingerprint.size(); ++i)
    invitation.fingerprint[i] = static_cast<uint8_t>(i * 37 + 1);
  return invitation;
}

JoinLimits Within(double seconds, const std::atomic<bool>& cancel) {
  return {Clock::now() + std::chrono::duration_cast<Clock::duration>(
                             std::chrono::duration<double>(seconds)),
          &cancel};
}

struct Admission {
  JoinVerdict verdict = JoinVerdict::kBroken;
  std::string name, error;
};

// The presenter's side on a thread of its own; it welcomes a proved viewer
// as number 7 and sends one event after, as a link would.
Admission Admit(ByteStream& stream, const std::string& key, double seconds = 10) {
  std::atomic<bool> never{false};
  Admission admission;
  JoinLimits limits = Within(seconds, never);
  admission.verdict = ChallengeViewer(stream, key, limits, &admission.name, &admission.error);
  if (admission.verdict == JoinVerdict::kProved) {
    WelcomeViewer(stream, 7, limits);
    WireFrame event = MakeWireFrame(ZKP_CANCELINPUTCONTROL, 0, nullptr);
    stream.SendAll(event->data(), event->size(), never);
  } else if (admission.verdict == JoinVerdict::kWrongKey) {
    RefuseViewer(stream, JoinRefusal::kWrongKey, limits);
  }
  return admission;
}
}  // namespace

TEST(Invitation, TextRoundTripsAndIsLettersDigitsAndOneDash) {
  const Invitation sample = Sample();
  const std::string text = FormatInvitation(sample);
  EXPECT_EQ(text.size(), sample.key.size() + 1 + 52);
  EXPECT_EQ(std::count(text.begin(), text.end(), '-'), 1);
  for (char c : text) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '-') << c;
  Invitation parsed;
  ASSERT_TRUE(ParseInvitation("  " + text + "\r\n", &parsed));
  EXPECT_EQ(parsed.key, sample.key);
  EXPECT_EQ(parsed.fingerprint, sample.fingerprint);
  std::string upper = text;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_TRUE(ParseInvitation(upper, &parsed)) << "read out loud, the case is lost";
  EXPECT_EQ(parsed.fingerprint, sample.fingerprint);
  EXPECT_EQ(NormalisedJoinKey(parsed.key), sample.key);

  std::string key;
  ASSERT_TRUE(MakeJoinKey(&key));
  EXPECT_EQ(key.size(), 26u);
  EXPECT_TRUE(IsValidJoinKey(key));
  std::string other;
  ASSERT_TRUE(MakeJoinKey(&other));
  EXPECT_NE(key, other);
}

TEST(Invitation, AnythingElseIsRefused) {
  const std::string text = FormatInvitation(Sample());
  const std::string fingerprint = text.substr(text.find('-') + 1);
  Invitation parsed;
  for (const std::string& bad :
       {std::string(), std::string("-") + fingerprint, "short-" + fingerprint,
        "has space-" + fingerprint, "k3v7p2mq9x4hd6tw8rjcn5bfya-" + fingerprint.substr(1),
        "k3v7p2mq9x4hd6tw8rjcn5bfya-" + fingerprint + "a",
        "k3v7p2mq9x4hd6tw8rjcn5bfya-" + fingerprint.substr(0, 51) + "1",  // not a digit
        "k3v7p2mq9x4hd6tw8rjcn5bfya-" + fingerprint.substr(0, 51) + "b",  // bits past the end
        "k3v7p2mq9x4hd6tw8rjcn5bfya" + fingerprint, std::string(65, 'a') + "-" + fingerprint})
    EXPECT_FALSE(ParseInvitation(bad, &parsed)) << bad;
  EXPECT_FALSE(IsValidJoinKey("seven77"));
  EXPECT_FALSE(IsValidJoinKey("with-dash"));
  EXPECT_TRUE(IsValidJoinKey("Eight888"));
}

TEST(JoinAttempts, AFewMistakesAreForgivenThenTheAddressWaitsLongerEachTime) {
  JoinAttempts attempts;
  const auto start = Clock::now();
  for (int i = 0; i < JoinAttempts::kForgivenFailures; ++i) {
    ASSERT_TRUE(attempts.MayTry("10.0.0.1", start));
    attempts.Failed("10.0.0.1", start);
  }
  EXPECT_TRUE(attempts.MayTry("10.0.0.1", start));
  attempts.Failed("10.0.0.1", start);
  EXPECT_FALSE(attempts.MayTry("10.0.0.1", start + std::chrono::milliseconds(900)));
  EXPECT_TRUE(attempts.MayTry("10.0.0.2", start)) << "another address";
  EXPECT_TRUE(attempts.MayTry("10.0.0.1", start + std::chrono::seconds(1)));
  attempts.Failed("10.0.0.1", start + std::chrono::seconds(1));
  EXPECT_FALSE(attempts.MayTry("10.0.0.1", start + std::chrono::milliseconds(2900)));
  EXPECT_TRUE(attempts.MayTry("10.0.0.1", start + std::chrono::seconds(3)));
  for (int i = 0; i < 20; ++i) attempts.Failed("10.0.0.1", start);
  EXPECT_FALSE(attempts.MayTry("10.0.0.1", start + std::chrono::seconds(59)));
  EXPECT_TRUE(attempts.MayTry("10.0.0.1", start + JoinAttempts::kLongestShutOut));
  attempts.Succeeded("10.0.0.1");
  EXPECT_TRUE(attempts.MayTry("10.0.0.1", start));

  for (size_t i = 0; i <= JoinAttempts::kMaxAddresses; ++i)
    attempts.Failed("address " + std::to_string(i), start + std::chrono::milliseconds(i));
  EXPECT_EQ(attempts.Tracked(), JoinAttempts::kMaxAddresses);
}

TEST(JoinHandshake, TheRightKeyIsWelcomedOverPlainAndTlsStreamsAndTheStreamGoesOnAfter) {
  std::string error;
  TlsIdentity identity = TlsIdentity::Generate(&error);
  ASSERT_TRUE(identity.IsValid()) << error;
  SocketPair plain = ConnectLoopback();
  TlsPair tls = Handshake(identity, identity.Fingerprint());
  ASSERT_TRUE(tls.client && tls.server) << tls.clientError << tls.serverError;
  for (auto ends : {std::make_pair<ByteStream*, ByteStream*>(plain.server.get(), plain.client.get()),
                    std::make_pair<ByteStream*, ByteStream*>(tls.server.get(), tls.client.get())}) {
    Admission admission;
    std::thread presenter([&] { admission = Admit(*ends.first, "Right-Key-0123"); });
    std::atomic<bool> never{false};
    uint32_t number = 0;
    // The key is read without regard to case; the name is shown printable.
    EXPECT_TRUE(JoinPresenter(*ends.second, "right-key-0123", "Ann\x1b[31m", Within(10, never),
                              &number, &error))
        << error;
    presenter.join();
    EXPECT_EQ(admission.verdict, JoinVerdict::kProved) << admission.error;
    EXPECT_EQ(admission.name, "Ann?[31m");
    EXPECT_EQ(number, 7u);
    // The event after the welcome was left for the link.
    FrameReader reader;
    std::vector<ReceivedEvent> events;
    uint8_t buffer[64];
    int received = ends.second->Receive(buffer, sizeof buffer, never);
    ASSERT_GT(received, 0);
    ASSERT_TRUE(reader.Feed(buffer, static_cast<size_t>(received), &events));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, ZKP_CANCELINPUTCONTROL);
  }
}

TEST(JoinHandshake, AWrongKeyIsRefusedAndTheViewerToldWhy) {
  SocketPair plain = ConnectLoopback();
  Admission admission;
  std::thread presenter([&] { admission = Admit(*plain.server, "the-right-one"); });
  std::atomic<bool> never{false};
  uint32_t number = 0;
  std::string error;
  EXPECT_FALSE(JoinPresenter(*plain.client, "not-the-right-one", "Eve", Within(10, never),
                             &number, &error));
  presenter.join();
  EXPECT_EQ(admission.verdict, JoinVerdict::kWrongKey);
  EXPECT_NE(error.find("refused the join key"), std::string::npos) << error;
}

TEST(JoinHandshake, SilenceGarbageAndOverlongFramesAreRefusedWithinTheDeadline) {
  struct Case {
    std::vector<uint8_t> bytes;  // what the peer sends after the challenge
    const char* error;
  };
  std::vector<uint8_t> overlong(kEventHeaderSize);
  WriteMessage(overlong.data(), EventHeader{ZKH_JOIN, 1u << 20});
  std::vector<uint8_t> notJoin = *MakeWireFrame(ZKP_KEYBOARDUPDATE, 16, std::vector<uint8_t>(16).data());
  for (const Case& c : {Case{{}, "no answer in time"},
                        Case{{0x16, 0x03, 0x01}, "no answer in time"},
                        Case{overlong, "a frame of 1048576 bytes"},
                        Case{notJoin, "something other than a join"}}) {
    SocketPair plain = ConnectLoopback();
    std::atomic<bool> never{false};
    if (!c.bytes.empty()) plain.client->SendAll(c.bytes.data(), c.bytes.size(), never);
    Admission admission = Admit(*plain.server, "the-right-one", 0.5);
    EXPECT_EQ(admission.verdict, JoinVerdict::kBroken);
    EXPECT_NE(admission.error.find(c.error), std::string::npos) << admission.error;
  }
}
