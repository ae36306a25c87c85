// The NATS client against a fake server in the test that sends what a real
// one never would: each must end the connection with the parser's reason,
// not crash it or make it hold more than its bounds. And a server that
// stops reading must make publishing report it, not queue without end.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "NatsConnection.h"
#include "PosixSocket.h"

namespace {
using std::chrono::seconds;
constexpr auto kWait = seconds(20);
const std::string kInfo = "INFO {\"server_id\":\"fake\",\"max_payload\":4096,\"connect_urls\":[]}\r\n";

// Serves one client: sends `greeting`; once the client has sent its PING
// after CONNECT, answers it and sends `afterHandshake`. Then holds the
// connection open until the test ends, reading nothing more unless told to
// listen, when it keeps what it hears for WaitToHear.
class FakeServer {
 public:
  FakeServer(std::string greeting, std::string afterHandshake, bool listen = false)
      : greeting_(std::move(greeting)), afterHandshake_(std::move(afterHandshake)), listen_(listen) {
    std::string error;
    listener_ = PosixSocket::Listen(0, &error);
    EXPECT_TRUE(listener_.IsOpen()) << error;
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeServer() {
    done_ = true;
    thread_.join();
  }
  std::string Url() const { return "nats://127.0.0.1:" + std::to_string(listener_.LocalPort()); }
  bool WaitToHear(const std::string& text) {
    std::unique_lock<std::mutex> lock(mutex_);
    return heardMore_.wait_for(lock, kWait, [&] { return heard_.find(text) != std::string::npos; });
  }

 private:
  void Serve() {
    PosixSocket peer = listener_.Accept(done_);
    if (!peer.IsOpen()) return;
    if (!Send(peer, greeting_) || !AwaitPing(peer) || !Send(peer, "PONG\r\n" + afterHandshake_)) return;
    while (!done_) {
      peer.WaitReadable(50);
      if (listen_) Listen(peer);
    }
  }
  void Listen(PosixSocket& peer) {
    uint8_t buffer[4096];
    int got = peer.TryReceive(buffer, sizeof buffer);
    if (got <= 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    heard_.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(got));
    heardMore_.notify_all();
  }
  bool Send(PosixSocket& peer, const std::string& bytes) {
    return peer.SendAll(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), done_);
  }
  bool AwaitPing(PosixSocket& peer) {
    std::string heard;
    uint8_t buffer[4096];
    while (heard.find("PING\r\n") == std::string::npos) {
      int got = peer.Receive(buffer, sizeof buffer, done_);
      if (got <= 0) return false;
      heard.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(got));
    }
    return true;
  }

  std::string greeting_;
  std::string afterHandshake_;
  const bool listen_;
  std::mutex mutex_;
  std::condition_variable heardMore_;
  std::string heard_;  // after the handshake
  PosixSocket listener_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

class StatusLog {
 public:
  void Add(const NatsStatus& status) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (status.kind == NatsStatus::Kind::kConnectFailed || status.kind == NatsStatus::Kind::kDisconnected)
      failures_.push_back(status.text);
    changed_.notify_all();
  }
  std::string FirstFailure() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, kWait, [&] { return !failures_.empty(); });
    return failures_.empty() ? "no failure reported" : failures_.front();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> failures_;
};

std::unique_ptr<NatsConnection> Connect(const std::string& url, StatusLog& log, size_t maxPending = 1 << 20,
                                        std::chrono::milliseconds pingInterval = std::chrono::seconds(20)) {
  NatsOptions options;
  std::string error;
  EXPECT_TRUE(ParseNatsUrlList(url, &options.servers, &error)) << error;
  options.maxPendingBytes = maxPending;
  options.pingInterval = pingInterval;
  options.handshakeTimeLimit = std::chrono::milliseconds(500);
  auto connection = std::make_unique<NatsConnection>(options, nullptr, [&log](const NatsStatus& s) { log.Add(s); });
  connection->Start();
  return connection;
}

struct Hostile {
  const char* name;
  std::string greeting;
  std::string afterHandshake;
  const char* reason;
};

class NatsHostileServerTest : public ::testing::TestWithParam<Hostile> {};

TEST_P(NatsHostileServerTest, EndsTheConnectionWithTheReason) {
  FakeServer server(GetParam().greeting, GetParam().afterHandshake);
  StatusLog log;
  auto connection = Connect(server.Url(), log);
  std::string failure = log.FirstFailure();
  EXPECT_NE(failure.find(GetParam().reason), std::string::npos) << failure;
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, NatsHostileServerTest,
    ::testing::Values(
        Hostile{"InfoBeyondItsBound", "INFO {\"x\":\"" + std::string(70000, 'x'), "", "longer than allowed"},
        Hostile{"NestingWithoutEnd", "INFO {\"x\":" + std::string(100, '[') + "\r\n", "", "not a valid object"},
        Hostile{"MessageBeforeInfo", "MSG a 1 3\r\nabc\r\n", "", "larger than the server's own limit"},
        Hostile{"LongControlLine", kInfo, "PING " + std::string(5000, ' ') + "\r\n", "longer than allowed"},
        Hostile{"PayloadOverMaxPayload", kInfo, "MSG a 1 4097\r\n", "larger than the server's own limit"},
        Hostile{"SizeOverflowing", kInfo, "MSG a 1 99999999999999999999999\r\n", "malformed size"},
        Hostile{"PayloadNotEnded", kInfo, "MSG a 1 3\r\nabcXY", "not followed by CR LF"},
        Hostile{"Headers", kInfo, "HMSG a 1 10 20\r\n", "unknown or malformed"},
        Hostile{"BareNewline", kInfo, "PING\n", "not ended by CR LF"}),
    [](const ::testing::TestParamInfo<Hostile>& info) { return std::string(info.param.name); });

// The fake server never reads after the handshake: the system's buffers
// fill, then the client's own, and then publishing says so.
TEST(NatsBackPressureTest, APublishIsRefusedOnceTheServerStopsReading) {
  FakeServer server(kInfo, "");
  StatusLog log;
  auto connection = Connect(server.Url(), log, 256 * 1024);
  ASSERT_TRUE(connection->WaitConnected(kWait));
  const std::vector<uint8_t> payload(4096, 0x5a);
  NatsConnection::PublishResult result = NatsConnection::PublishResult::kQueued;
  // Far more than loopback's socket buffers and the client's bound together.
  for (int sent = 0; sent < 64 * 1024 && result == NatsConnection::PublishResult::kQueued; ++sent)
    result = connection->Publish("zk.events", payload.data(), payload.size());
  EXPECT_EQ(result, NatsConnection::PublishResult::kBackedUp);
}
}  // namespace

namespace {
TEST(NatsKeepAliveTest, AnswersTheServersPing) {
  FakeServer server(kInfo, "PING\r\n", true);
  StatusLog log;
  auto connection = Connect(server.Url(), log);
  EXPECT_TRUE(server.WaitToHear("PONG\r\n"));
}

// The fake server reads nothing after the handshake, so it answers none of
// the client's PINGs: a server that hangs without closing the connection.
TEST(NatsKeepAliveTest, ALinkWhoseServerStopsAnsweringPingsEnds) {
  FakeServer server(kInfo, "");
  StatusLog log;
  auto connection = Connect(server.Url(), log, 1 << 20, std::chrono::milliseconds(100));
  std::string failure = log.FirstFailure();
  EXPECT_NE(failure.find("stopped answering"), std::string::npos) << failure;
}
}  // namespace

namespace {
// A listener with no room in its queue: the system drops further connection
// requests, as a server behind a dead route would, and they go unanswered.
TEST(NatsConnectTest, AServerThatNeverAnswersTheConnectionRequestFailsWithinTheTimeLimit) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const uint16_t port = ntohs(address.sin_port);
  std::string error;
  PosixSocket filler = PosixSocket::Connect("127.0.0.1", port, &error);
  ASSERT_TRUE(filler.IsOpen()) << error;

  StatusLog log;
  auto connection = Connect("nats://127.0.0.1:" + std::to_string(port), log);
  std::string failure = log.FirstFailure();
  EXPECT_NE(failure.find("no answer in time"), std::string::npos) << failure;
  connection->Stop();
  close(listener);
}
}  // namespace
