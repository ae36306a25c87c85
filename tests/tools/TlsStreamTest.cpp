#include <gtest/gtest.h>
#include <mbedtls/net_sockets.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "LinkTestKit.h"
#include "MbedObject.h"
#include "TlsRandom.h"

namespace {
using std::chrono::milliseconds;
using std::chrono::seconds;

const TlsIdentity& Identity() {
  static const TlsIdentity identity = [] {
    std::string error;
    TlsIdentity made = TlsIdentity::Generate(&error);
    EXPECT_TRUE(made.IsValid()) << error;
    return made;
  }();
  return identity;
}

// Sets a flag once the time is up, so that a stream call waiting on that flag
// gives up and the test fails instead of hanging.
class Watchdog {
 public:
  explicit Watchdog(seconds limit)
      : thread_([this, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!wake_.wait_for(lock, limit, [this] { return done_; })) expired_ = true;
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  const std::atomic<bool>& Expired() const { return expired_; }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::atomic<bool> expired_{false};
  std::thread thread_;
};

// An endless run of bytes that either end can make from the same seed.
class Pattern {
 public:
  explicit Pattern(uint64_t seed) : state_(seed) {}
  void Fill(uint8_t* out, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      if (left_ == 0) {
        // splitmix64
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        word_ = z ^ (z >> 31);
        left_ = 8;
      }
      out[i] = static_cast<uint8_t>(word_ >> (8 * --left_));
    }
  }

 private:
  uint64_t state_;
  uint64_t word_ = 0;
  int left_ = 0;
};

// Sends `volume` bytes of the seed's pattern in chunks of random sizes.
bool SendPattern(ByteStream& stream, uint64_t seed, size_t volume, const std::atomic<bool>& cancel) {
  Pattern pattern(seed);
  std::mt19937 sizes(static_cast<uint32_t>(seed));
  std::vector<uint8_t> chunk(256 * 1024);
  while (volume > 0) {
    size_t length = std::min<size_t>(volume, 1 + sizes() % chunk.size());
    pattern.Fill(chunk.data(), length);
    if (!stream.SendAll(chunk.data(), length, cancel)) return false;
    volume -= length;
  }
  return true;
}

// The count of bytes that arrived as the seed's pattern, up to the first wrong one.
size_t ReceivePattern(ByteStream& stream, uint64_t seed, size_t volume, const std::atomic<bool>& cancel) {
  Pattern pattern(seed);
  std::mt19937 sizes(static_cast<uint32_t>(seed) + 1);
  std::vector<uint8_t> buffer(256 * 1024), expected(buffer.size());
  size_t intact = 0;
  while (intact < volume) {
    int capacity = static_cast<int>(std::min<size_t>(volume - intact, 1 + sizes() % buffer.size()));
    int received = stream.Receive(buffer.data(), capacity, cancel);
    if (received <= 0) break;
    pattern.Fill(expected.data(), static_cast<size_t>(received));
    if (std::memcmp(buffer.data(), expected.data(), static_cast<size_t>(received)) != 0) break;
    intact += static_cast<size_t>(received);
  }
  return intact;
}

std::vector<uint8_t> Bytes(const char* text) { return std::vector<uint8_t>(text, text + std::strlen(text)); }

std::string ReceiveText(ByteStream& stream, size_t length) {
  std::atomic<bool> never{false};
  std::string text(length, '\0');
  size_t got = 0;
  while (got < length) {
    int received = stream.Receive(reinterpret_cast<uint8_t*>(&text[got]), static_cast<int>(length - got), never);
    if (received <= 0) break;
    got += static_cast<size_t>(received);
  }
  text.resize(got);
  return text;
}

// Passes a stream through, keeping a copy of every byte sent; it can also
// cut the connection the way a crash or a pulled cable would.
class Tap : public ByteStream {
 public:
  explicit Tap(std::unique_ptr<ByteStream> inner) : inner_(std::move(inner)) {}
  int TrySend(const uint8_t* data, size_t length) override {
    int sent = inner_->TrySend(data, length);
    std::lock_guard<std::mutex> lock(mutex_);
    if (sent > 0) sent_.insert(sent_.end(), data, data + sent);
    return sent;
  }
  int TryReceive(uint8_t* buffer, size_t capacity) override { return inner_->TryReceive(buffer, capacity); }
  bool WaitReadable(int timeoutMs) override { return inner_->WaitReadable(timeoutMs); }
  bool WaitWritable(int timeoutMs) override { return inner_->WaitWritable(timeoutMs); }
  void Interrupt() override { inner_->Interrupt(); }
  void Close() override { inner_->Close(); }
  std::vector<uint8_t> Sent() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
  }

 private:
  std::unique_ptr<ByteStream> inner_;
  std::mutex mutex_;
  std::vector<uint8_t> sent_;
};

bool Contains(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// Holds one direction of a stream: its waits block, for as long as the test
// wishes, and its sends find no room. What else the stream does meanwhile
// shows whether a thread waiting there holds up the other direction.
class Gate : public ByteStream {
 public:
  enum Direction { kReceiving, kSending };
  Gate(std::unique_ptr<ByteStream> inner, Direction held) : inner_(std::move(inner)), held_(held) {}
  int TrySend(const uint8_t* data, size_t length) override {
    if (held_ == kSending && Shut()) return kWouldBlock;
    return inner_->TrySend(data, length);
  }
  int TryReceive(uint8_t* buffer, size_t capacity) override { return inner_->TryReceive(buffer, capacity); }
  bool WaitReadable(int timeoutMs) override {
    if (held_ == kReceiving) Hold();
    return inner_->WaitReadable(timeoutMs);
  }
  bool WaitWritable(int timeoutMs) override {
    if (held_ == kSending) Hold();
    return inner_->WaitWritable(timeoutMs);
  }
  void Interrupt() override { inner_->Interrupt(); }
  void Close() override { inner_->Close(); }

  void SetShut(bool shut) {
    std::lock_guard<std::mutex> lock(mutex_);
    shut_ = shut;
    wake_.notify_all();
  }
  void AwaitHeld() {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return holding_; });
  }

 private:
  bool Shut() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shut_;
  }
  void Hold() {
    std::unique_lock<std::mutex> lock(mutex_);
    holding_ = shut_;
    wake_.notify_all();
    wake_.wait(lock, [this] { return !shut_; });
  }

  std::unique_ptr<ByteStream> inner_;
  const Direction held_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool shut_ = false;
  bool holding_ = false;
};

const std::string kTimedOut = "did not finish in time";
}  // namespace

TEST(TlsStream, CarriesDataBothWaysAndEndsWithCloseNotify) {
  TlsPair pair = Handshake(Identity(), Identity().Fingerprint());
  ASSERT_TRUE(pair.server) << pair.serverError;
  ASSERT_TRUE(pair.client) << pair.clientError;
  EXPECT_NE(pair.client->Description().find("TLSv1.2, TLS-ECDHE-ECDSA-WITH-"), std::string::npos)
      << pair.client->Description();

  std::atomic<bool> never{false};
  std::vector<uint8_t> hello = Bytes("hello presenter"), answer = Bytes("hello viewer");
  ASSERT_TRUE(pair.client->SendAll(hello.data(), hello.size(), never));
  EXPECT_EQ(ReceiveText(*pair.server, hello.size()), "hello presenter");
  ASSERT_TRUE(pair.server->SendAll(answer.data(), answer.size(), never));
  EXPECT_EQ(ReceiveText(*pair.client, 1), "h");
  // The rest came in the same record: the socket has nothing more to say,
  // yet the stream is readable.
  EXPECT_TRUE(pair.client->WaitReadable(30000));
  EXPECT_EQ(ReceiveText(*pair.client, answer.size() - 1), "ello viewer");

  pair.client->Close();
  uint8_t byte;
  EXPECT_EQ(pair.server->Receive(&byte, 1, never), 0);
}

TEST(TlsStream, AConnectionCutWithoutCloseNotifyIsAFailureNotAnEnd) {
  SocketPair sockets = ConnectLoopback();
  Tap* serverTap = new Tap(std::move(sockets.server));
  TlsPair pair = Handshake(std::unique_ptr<ByteStream>(serverTap), std::move(sockets.client), Identity(),
                           Identity().Fingerprint());
  ASSERT_TRUE(pair.server && pair.client) << pair.serverError << pair.clientError;
  serverTap->Close();
  std::atomic<bool> never{false};
  uint8_t byte;
  EXPECT_LT(pair.client->Receive(&byte, 1, never), 0);
}

TEST(TlsStream, AServerWithAnotherCertificateIsRefused) {
  CertificateFingerprint other = Identity().Fingerprint();
  other[31] ^= 1;
  TlsPair pair = Handshake(Identity(), other);
  EXPECT_FALSE(pair.client);
  EXPECT_NE(pair.clientError.find("expected fingerprint"), std::string::npos) << pair.clientError;
  EXPECT_FALSE(pair.server);
}

TEST(TlsStream, APlaintextClientIsRefusedAtOnce) {
  SocketPair sockets = ConnectLoopback();
  std::atomic<bool> never{false};
  std::string error;
  std::thread server([&] {
    EXPECT_FALSE(TlsStream::Accept(std::move(sockets.server), Identity(), seconds(60), never, &error));
  });
  // What a viewer of the unencrypted protocol sends first: a framed event
  // (type 9, four bytes of payload).
  const uint8_t event[] = {9, 0, 0, 0, 4, 0, 0, 0, 1, 2, 3, 4};
  EXPECT_TRUE(sockets.client->SendAll(event, sizeof event, never));
  server.join();
  EXPECT_EQ(error.find(kTimedOut), std::string::npos) << error;
}

TEST(TlsStream, AServerSendingGarbageIsRefusedAtOnce) {
  SocketPair sockets = ConnectLoopback();
  std::atomic<bool> never{false};
  std::vector<uint8_t> garbage(64);
  std::mt19937 random(7);
  for (uint8_t& byte : garbage) byte = static_cast<uint8_t>(random());
  ASSERT_TRUE(sockets.server->SendAll(garbage.data(), garbage.size(), never));
  std::string error;
  EXPECT_FALSE(TlsStream::Connect(std::move(sockets.client), Identity().Fingerprint(), seconds(60), never, &error));
  EXPECT_EQ(error.find(kTimedOut), std::string::npos) << error;
}

TEST(TlsStream, ASilentServerRunsTheHandshakeOutOfTime) {
  SocketPair sockets = ConnectLoopback();
  std::atomic<bool> never{false};
  std::string error;
  EXPECT_FALSE(TlsStream::Connect(std::move(sockets.client), Identity().Fingerprint(), milliseconds(300), never,
                                  &error));
  EXPECT_NE(error.find(kTimedOut), std::string::npos) << error;
}

TEST(TlsStream, AHandshakeStopsWhenCancelled) {
  SocketPair sockets = ConnectLoopback();
  std::atomic<bool> cancel{true};
  std::string error;
  EXPECT_FALSE(TlsStream::Accept(std::move(sockets.server), Identity(), seconds(60), cancel, &error));
  EXPECT_NE(error.find("cancelled"), std::string::npos) << error;
}

TEST(TlsStream, AClientThatSendsTooSlowlyRunsTheHandshakeOutOfTime) {
  SocketPair sockets = ConnectLoopback();
  std::atomic<bool> stop{false};
  // A handshake record of 200 bytes, announced and then sent a byte at a
  // time: the server sees progress all along, but never enough of it.
  std::thread dribbler([&] {
    const uint8_t header[] = {0x16, 0x03, 0x01, 0x00, 200, 0x01};
    sockets.client->SendAll(header, sizeof header, stop);
    for (uint8_t byte = 0; !stop; ++byte) {
      std::this_thread::sleep_for(milliseconds(20));  // the pace of the peer, not a wait for an event
      if (!sockets.client->SendAll(&byte, 1, stop)) break;
    }
  });
  std::string error;
  EXPECT_FALSE(TlsStream::Accept(std::move(sockets.server), Identity(), milliseconds(500), stop, &error));
  stop = true;
  dribbler.join();
  EXPECT_NE(error.find(kTimedOut), std::string::npos) << error;
}

TEST(TlsStream, SendingAndReceivingAtOnceInBothDirectionsKeepsEveryByte) {
  constexpr size_t kVolume = 64u << 20;
  TlsPair pair = Handshake(Identity(), Identity().Fingerprint());
  ASSERT_TRUE(pair.server && pair.client) << pair.serverError << pair.clientError;
  // Each side's sender and receiver run on threads of their own, as a link's do.
  Watchdog watchdog(seconds(240));
  bool serverSent = false, clientSent = false;
  size_t serverGot = 0, clientGot = 0;
  std::thread threads[] = {
      std::thread([&] { serverSent = SendPattern(*pair.server, 1, kVolume, watchdog.Expired()); }),
      std::thread([&] { clientSent = SendPattern(*pair.client, 2, kVolume, watchdog.Expired()); }),
      std::thread([&] { serverGot = ReceivePattern(*pair.server, 2, kVolume, watchdog.Expired()); }),
      std::thread([&] { clientGot = ReceivePattern(*pair.client, 1, kVolume, watchdog.Expired()); }),
  };
  for (std::thread& thread : threads) thread.join();
  EXPECT_TRUE(serverSent);
  EXPECT_TRUE(clientSent);
  EXPECT_EQ(serverGot, kVolume);
  EXPECT_EQ(clientGot, kVolume);
}

TEST(TlsStream, AReceiverWaitingForDataDoesNotHoldUpTheSender) {
  SocketPair sockets = ConnectLoopback();
  Gate* gate = new Gate(std::move(sockets.client), Gate::kReceiving);
  TlsPair pair = Handshake(std::move(sockets.server), std::unique_ptr<ByteStream>(gate), Identity(),
                           Identity().Fingerprint());
  ASSERT_TRUE(pair.server && pair.client) << pair.serverError << pair.clientError;
  gate->SetShut(true);
  std::atomic<bool> never{false};
  std::thread receiver([&] { EXPECT_EQ(ReceiveText(*pair.client, 4), "done"); });
  gate->AwaitHeld();

  constexpr size_t kVolume = 4u << 20;
  Watchdog watchdog(seconds(30));
  auto sent = std::async(std::launch::async,
                         [&] { return SendPattern(*pair.client, 3, kVolume, watchdog.Expired()); });
  // The server takes it all while the client's receiver still waits.
  EXPECT_EQ(ReceivePattern(*pair.server, 3, kVolume, watchdog.Expired()), kVolume);
  gate->SetShut(false);
  std::vector<uint8_t> done = Bytes("done");
  EXPECT_TRUE(pair.server->SendAll(done.data(), done.size(), never));
  receiver.join();
  EXPECT_TRUE(sent.get());
}

TEST(TlsStream, ASenderWaitingForRoomDoesNotHoldUpTheReceiver) {
  SocketPair sockets = ConnectLoopback();
  Gate* gate = new Gate(std::move(sockets.client), Gate::kSending);
  TlsPair pair = Handshake(std::move(sockets.server), std::unique_ptr<ByteStream>(gate), Identity(),
                           Identity().Fingerprint());
  ASSERT_TRUE(pair.server && pair.client) << pair.serverError << pair.clientError;
  gate->SetShut(true);
  std::atomic<bool> never{false};
  std::vector<uint8_t> held = Bytes("held back"), ping = Bytes("ping");
  std::thread sender([&] { EXPECT_TRUE(pair.client->SendAll(held.data(), held.size(), never)); });
  gate->AwaitHeld();

  // The client's receiver gets the server's ping while its sender still waits.
  auto received = std::async(std::launch::async, [&] { return ReceiveText(*pair.client, ping.size()); });
  EXPECT_TRUE(pair.server->SendAll(ping.data(), ping.size(), never));
  bool arrived = received.wait_for(seconds(30)) == std::future_status::ready;
  gate->SetShut(false);
  EXPECT_TRUE(arrived);
  EXPECT_EQ(received.get(), "ping");
  sender.join();
  EXPECT_EQ(ReceiveText(*pair.server, held.size()), "held back");
}

TEST(TlsStream, NoPlaintextTravelsOnTheWire) {
  SocketPair sockets = ConnectLoopback();
  Tap* clientTap = new Tap(std::move(sockets.client));
  TlsPair pair = Handshake(std::move(sockets.server), std::unique_ptr<ByteStream>(clientTap), Identity(),
                           Identity().Fingerprint());
  ASSERT_TRUE(pair.server && pair.client) << pair.serverError << pair.clientError;
  std::atomic<bool> never{false};
  std::vector<uint8_t> secret = Bytes("the viewer's mouse went to 123,456 and typed hunter2");
  size_t handshakeBytes = clientTap->Sent().size();
  ASSERT_TRUE(pair.client->SendAll(secret.data(), secret.size(), never));
  EXPECT_EQ(ReceiveText(*pair.server, secret.size()), std::string(secret.begin(), secret.end()));
  std::vector<uint8_t> wire = clientTap->Sent();
  EXPECT_GE(wire.size(), handshakeBytes + secret.size());
  EXPECT_FALSE(Contains(wire, secret));
  EXPECT_FALSE(Contains(wire, Bytes("hunter2")));
}

namespace {
// mbed TLS over a stream, blocking, for a client of the test's own making.
struct BlockingTransport {
  ByteStream* stream;
  const std::atomic<bool>* stop;
  static int Send(void* self, const unsigned char* data, size_t length) {
    auto* transport = static_cast<BlockingTransport*>(self);
    return transport->stream->SendAll(data, length, *transport->stop) ? static_cast<int>(length)
                                                                       : MBEDTLS_ERR_NET_SEND_FAILED;
  }
  static int Receive(void* self, unsigned char* buffer, size_t capacity) {
    auto* transport = static_cast<BlockingTransport*>(self);
    int received = transport->stream->Receive(buffer, static_cast<int>(capacity), *transport->stop);
    return received >= 0 ? received : MBEDTLS_ERR_NET_RECV_FAILED;
  }
};
}  // namespace

// Refusing a new handshake takes a record that mbed TLS writes while it
// reads, behind the back of the stream's sender, which could then drop or
// repeat its own data. The stream ends instead, and writes nothing.
TEST(TlsStream, APeerAskingForANewHandshakeEndsTheLinkWithoutAWordWritten) {
  SocketPair sockets = ConnectLoopback();
  Tap* serverTap = new Tap(std::move(sockets.server));
  Watchdog watchdog(seconds(60));
  std::unique_ptr<TlsStream> server;
  std::string error;
  std::thread accept([&] {
    server = TlsStream::Accept(std::unique_ptr<ByteStream>(serverTap), Identity(), seconds(30), watchdog.Expired(),
                               &error);
  });
  // A client of mbed TLS's own that, unlike TlsStream, may renegotiate.
  TlsRandom random;
  SslConfig config;
  SslContext ssl;
  BlockingTransport transport = {sockets.client.get(), &watchdog.Expired()};
  ASSERT_EQ(mbedtls_ssl_config_defaults(config.get(), MBEDTLS_SSL_IS_CLIENT, MBEDTLS_SSL_TRANSPORT_STREAM,
                                        MBEDTLS_SSL_PRESET_DEFAULT), 0);
  mbedtls_ssl_conf_authmode(config.get(), MBEDTLS_SSL_VERIFY_NONE);
  mbedtls_ssl_conf_rng(config.get(), TlsRandom::Generate, &random);
  mbedtls_ssl_conf_renegotiation(config.get(), MBEDTLS_SSL_RENEGOTIATION_ENABLED);
  ASSERT_EQ(mbedtls_ssl_setup(ssl.get(), config.get()), 0);
  mbedtls_ssl_set_bio(ssl.get(), &transport, BlockingTransport::Send, BlockingTransport::Receive, nullptr);
  EXPECT_EQ(mbedtls_ssl_handshake(ssl.get()), 0);
  accept.join();
  ASSERT_TRUE(server) << error;

  size_t sentBefore = serverTap->Sent().size();
  std::thread renegotiate([&] {
    mbedtls_ssl_renegotiate(ssl.get());
    sockets.client->Close();
  });
  uint8_t byte;
  EXPECT_LT(server->Receive(&byte, 1, watchdog.Expired()), 0);
  EXPECT_EQ(serverTap->Sent().size(), sentBefore);
  server.reset();  // the client learns the end from the closed connection
  renegotiate.join();
}
