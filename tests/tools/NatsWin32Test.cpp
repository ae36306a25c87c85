// The NATS client in the Win32 build, over Winsock under Wine, against a
// real nats-server started beside the tests (the nats_server fixture).
#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "NatsConnection.h"
#include "TcpSocket.h"

namespace {
constexpr auto kWait = std::chrono::seconds(20);

std::string ServerUrl() {
  std::ifstream file(ZK_NATS_URL_FILE);
  std::string url;
  std::getline(file, url);
  return url;
}

TEST(NatsWin32Test, RoundTripsUpToMaxPayloadThroughARealServer) {
  WinsockSession winsock;
  ASSERT_TRUE(winsock.Started());
  NatsOptions options;
  std::string error;
  ASSERT_TRUE(ParseNatsUrlList(ServerUrl(), &options.servers, &error)) << error << " in " << ZK_NATS_URL_FILE;
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<std::vector<uint8_t>> received;
  NatsConnection connection(
      options,
      [&](const NatsDelivery& m) {
        std::lock_guard<std::mutex> lock(mutex);
        received.emplace_back(m.data, m.data + m.length);
        arrived.notify_all();
      },
      nullptr);
  connection.Start();
  ASSERT_TRUE(connection.WaitConnected(kWait));
  ASSERT_NE(connection.Subscribe("zk.win32"), 0u);
  ASSERT_TRUE(connection.Flush(kWait));
  ASSERT_EQ(connection.MaxPayload(), 4096u);

  std::vector<uint8_t> largest(4096);
  for (size_t i = 0; i < largest.size(); ++i) largest[i] = static_cast<uint8_t>(i * 13);
  EXPECT_EQ(connection.Publish("zk.win32", largest.data(), largest.size()), NatsConnection::PublishResult::kQueued);
  EXPECT_EQ(connection.Publish("zk.win32", largest.data(), largest.size()),
            NatsConnection::PublishResult::kQueued);
  std::vector<uint8_t> over(4097);
  EXPECT_EQ(connection.Publish("zk.win32", over.data(), over.size()), NatsConnection::PublishResult::kTooLarge);
  std::unique_lock<std::mutex> lock(mutex);
  ASSERT_TRUE(arrived.wait_for(lock, kWait, [&] { return received.size() >= 2; }));
  EXPECT_EQ(received[0], largest);
  EXPECT_EQ(received[1], largest);
}
}  // namespace
