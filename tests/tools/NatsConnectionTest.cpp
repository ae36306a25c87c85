// The NATS client against real nats-server processes: single servers with
// and without credentials, a cluster of three joined by routes, a server
// killed under a client; and against a fake server in the test that sends
// what no server should.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "NatsConnection.h"
#include "NatsServerKit.h"
#include "TlsIdentity.h"

namespace {
using std::chrono::milliseconds;
using std::chrono::seconds;
using Kind = NatsStatus::Kind;
constexpr auto kWait = seconds(20);

std::vector<uint8_t> Bytes(size_t length, uint8_t seed) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

// A NatsConnection with everything it reports recorded, to be waited for.
class Client {
 public:
  explicit Client(const std::string& urls, const CertificateFingerprint* pin = nullptr) {
    NatsOptions options;
    std::string error;
    EXPECT_TRUE(ParseNatsUrlList(urls, &options.servers, &error)) << error;
    options.reconnectWait = milliseconds(50);
    if (pin) {
      options.pinned = true;
      options.pin = *pin;
    }
    options.maxPendingBytes = 256 * 1024;
    connection_.reset(new NatsConnection(
        options,
        [this](const NatsDelivery& m) {
          std::lock_guard<std::mutex> lock(mutex_);
          received_.emplace_back(m.data, m.data + m.length);
          changed_.notify_all();
        },
        [this](const NatsStatus& s) {
          std::lock_guard<std::mutex> lock(mutex_);
          statuses_.push_back(s);
          changed_.notify_all();
        }));
    connection_->Start();
  }

  NatsConnection& operator*() { return *connection_; }
  NatsConnection* operator->() { return connection_.get(); }

  bool WaitForMessages(size_t count, milliseconds timeout = kWait) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
  }
  std::vector<std::vector<uint8_t>> Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  // The text of the first status of this kind at or after `from`.
  bool WaitForStatus(Kind kind, std::string* text, size_t from = 0) {
    std::unique_lock<std::mutex> lock(mutex_);
    size_t at = from;
    return changed_.wait_for(lock, kWait, [&] {
      for (; at < statuses_.size(); ++at) {
        if (statuses_[at].kind != kind) continue;
        *text = statuses_[at].text.empty() ? statuses_[at].server : statuses_[at].text;
        return true;
      }
      return false;
    });
  }
  size_t StatusCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return statuses_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::vector<uint8_t>> received_;
  std::vector<NatsStatus> statuses_;
  std::unique_ptr<NatsConnection> connection_;
};

std::unique_ptr<NatsServer> StartServer(const std::string& config) {
  std::string error;
  std::unique_ptr<NatsServer> server = NatsServer::Start(config, &error);
  EXPECT_TRUE(server) << error;
  return server;
}

// Publishes on `from` until `to` has received one more message than it had,
// since a subscription reaches the other members of a cluster some time
// after its own server has confirmed it.
bool PublishUntilReceived(Client& from, Client& to, const std::string& subject) {
  const size_t before = to.Received().size();
  const std::vector<uint8_t> payload = Bytes(100, 3);
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (from->Publish(subject, payload.data(), payload.size()) != NatsConnection::PublishResult::kQueued)
      return false;
    if (to.WaitForMessages(before + 1, milliseconds(100))) return true;
  }
  return false;
}

TEST(NatsConnectionTest, RoundTripsPayloadsUpToTheServersMaxPayloadAndRefusesLarger) {
  auto server = StartServer("max_payload: 4096");
  ASSERT_TRUE(server);
  Client client(server->Url());
  ASSERT_TRUE(client->WaitConnected(kWait));
  ASSERT_NE(client->Subscribe("zk.session.events"), 0u);
  ASSERT_TRUE(client->Flush(kWait));
  EXPECT_EQ(client->MaxPayload(), 4096u);

  const std::vector<std::vector<uint8_t>> sent = {Bytes(0, 1), Bytes(1, 2), Bytes(4096, 3)};
  for (const auto& payload : sent)
    EXPECT_EQ(client->Publish("zk.session.events", payload.data(), payload.size()),
              NatsConnection::PublishResult::kQueued);
  const std::vector<uint8_t> tooLarge = Bytes(4097, 4);
  EXPECT_EQ(client->Publish("zk.session.events", tooLarge.data(), tooLarge.size()),
            NatsConnection::PublishResult::kTooLarge);
  EXPECT_EQ(client->Publish("zk session", tooLarge.data(), 1), NatsConnection::PublishResult::kBadSubject);
  ASSERT_TRUE(client.WaitForMessages(sent.size()));
  EXPECT_EQ(client.Received(), sent);
}

TEST(NatsConnectionTest, PresentsUserAndPasswordFromTheUrl) {
  auto server = StartServer("authorization { user: presenter\n password: \"pa:ss@word\" }");
  ASSERT_TRUE(server);
  Client right(server->Url("presenter:pa%3Ass%40word"));
  EXPECT_TRUE(right->WaitConnected(kWait));
  Client wrong(server->Url("presenter:guess"));
  std::string why;
  ASSERT_TRUE(wrong.WaitForStatus(Kind::kConnectFailed, &why));
  EXPECT_NE(why.find("Authorization Violation"), std::string::npos) << why;
  EXPECT_FALSE(wrong->Connected());
}

TEST(NatsConnectionTest, PresentsATokenFromTheUrl) {
  auto server = StartServer("authorization { token: \"s3cr3t-token\" }");
  ASSERT_TRUE(server);
  Client right(server->Url("s3cr3t-token"));
  EXPECT_TRUE(right->WaitConnected(kWait));
  Client wrong(server->Url("other-token"));
  std::string why;
  ASSERT_TRUE(wrong.WaitForStatus(Kind::kConnectFailed, &why));
  EXPECT_NE(why.find("Authorization Violation"), std::string::npos) << why;
}

// The server's certificate is the presenter's kind of identity, kept in one
// PEM file that serves the server as both its certificate and its key.
TEST(NatsConnectionTest, SpeaksTlsToAServerWithThePinnedCertificateOnlyAndRefusesAnother) {
  char folder[] = "/tmp/zk-nats-tls.XXXXXX";
  ASSERT_TRUE(mkdtemp(folder));
  const std::string pem = std::string(folder) + "/identity.pem";
  std::string error;
  TlsIdentity identity = TlsIdentity::LoadOrCreate(pem, &error);
  ASSERT_TRUE(identity.IsValid()) << error;
  auto server = StartServer("tls { cert_file: \"" + pem + "\"\n key_file: \"" + pem + "\" }");
  std::remove(pem.c_str());
  rmdir(folder);
  ASSERT_TRUE(server);
  const std::string url = "tls://127.0.0.1:" + std::to_string(server->ClientPort());

  Client pinned(url, &identity.Fingerprint());
  ASSERT_TRUE(pinned->WaitConnected(kWait));
  pinned->Subscribe("zk.tls");
  ASSERT_TRUE(pinned->Flush(kWait));
  const std::vector<uint8_t> payload = Bytes(1000, 9);
  ASSERT_EQ(pinned->Publish("zk.tls", payload.data(), payload.size()), NatsConnection::PublishResult::kQueued);
  ASSERT_TRUE(pinned.WaitForMessages(1));
  EXPECT_EQ(pinned.Received()[0], payload);

  CertificateFingerprint other = identity.Fingerprint();
  other[0] ^= 1;
  Client stranger(url, &other);
  std::string why;
  ASSERT_TRUE(stranger.WaitForStatus(Kind::kConnectFailed, &why));
  EXPECT_NE(why.find("fingerprint"), std::string::npos) << why;
  // A plain nats:// address to a server that requires TLS is upgraded, and
  // refused without a pin to check the certificate with.
  Client unpinned(server->Url());
  ASSERT_TRUE(unpinned.WaitForStatus(Kind::kConnectFailed, &why));
  EXPECT_NE(why.find("no certificate fingerprint"), std::string::npos) << why;
}

TEST(NatsConnectionTest, APublishOnOneClusterMemberReachesASubscriberOnAnother) {
  std::string error;
  auto cluster = StartNatsCluster(3, &error);
  ASSERT_EQ(cluster.size(), 3u) << error;
  Client publisher(cluster[0]->Url());
  Client viewer(cluster[2]->Url());
  ASSERT_TRUE(publisher->WaitConnected(kWait));
  ASSERT_TRUE(viewer->WaitConnected(kWait));
  viewer->Subscribe("zk.cluster");
  ASSERT_TRUE(viewer->Flush(kWait));
  EXPECT_TRUE(PublishUntilReceived(publisher, viewer, "zk.cluster"));
}

// The client is given the first server alone: it learns the others from the
// servers' announcements, moves to one of them when its server dies, and its
// subscription is made again there.
TEST(NatsConnectionTest, ReconnectsToAnotherMemberWhenItsServerDiesAndSubscribesAgain) {
  std::string error;
  auto cluster = StartNatsCluster(3, &error);
  ASSERT_EQ(cluster.size(), 3u) << error;
  Client viewer(cluster[0]->Url());
  Client publisher(cluster[2]->Url());
  ASSERT_TRUE(viewer->WaitConnected(kWait));
  ASSERT_TRUE(publisher->WaitConnected(kWait));
  viewer->Subscribe("zk.failover");
  ASSERT_TRUE(viewer->Flush(kWait));
  ASSERT_TRUE(PublishUntilReceived(publisher, viewer, "zk.failover"));

  const size_t before = viewer.StatusCount();
  cluster[0]->Kill();
  std::string server;
  ASSERT_TRUE(viewer.WaitForStatus(Kind::kDisconnected, &server, before));
  ASSERT_TRUE(viewer.WaitForStatus(Kind::kConnected, &server, before));
  EXPECT_NE(server, cluster[0]->Url());
  EXPECT_TRUE(PublishUntilReceived(publisher, viewer, "zk.failover"));
}
}  // namespace
