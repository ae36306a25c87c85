#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "LinkTestKit.h"
#include "SystemRandom.h"

// The cross-built mbed TLS under the real Winsock and the system's random
// source: an identity kept in a file, a handshake pinned to it between two
// threads over loopback, and an echo through it.
TEST(TlsLinkOnWindows, AHandshakeOverTcpSocketsCarriesAnEcho) {
  WinsockSession winsock;
  ASSERT_TRUE(winsock.Started());
  std::vector<uint8_t> random(32, 0);
  ASSERT_TRUE(FillSystemRandom(random.data(), random.size()));
  EXPECT_NE(random, std::vector<uint8_t>(32, 0));

  const std::string path = "tls-link-test.pem";
  std::remove(path.c_str());
  std::string error;
  TlsIdentity made = TlsIdentity::LoadOrCreate(path, &error);
  ASSERT_TRUE(made.IsValid()) << error;
  TlsIdentity kept = TlsIdentity::LoadOrCreate(path, &error);
  std::remove(path.c_str());
  ASSERT_TRUE(kept.IsValid()) << error;
  EXPECT_EQ(kept.Fingerprint(), made.Fingerprint());

  TlsPair pair = Handshake(kept, made.Fingerprint());
  ASSERT_TRUE(pair.server) << pair.serverError;
  ASSERT_TRUE(pair.client) << pair.clientError;
  std::atomic<bool> never{false};
  std::thread echo([&] {
    uint8_t buffer[4096];
    int received;
    while ((received = pair.server->Receive(buffer, sizeof buffer, never)) > 0)
      if (!pair.server->SendAll(buffer, static_cast<size_t>(received), never)) break;
  });
  std::vector<uint8_t> message(100000);
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(pair.client->SendAll(message.data(), message.size(), never));
  std::vector<uint8_t> back(message.size());
  size_t got = 0;
  while (got < back.size()) {
    int received = pair.client->Receive(back.data() + got, static_cast<int>(back.size() - got), never);
    if (received <= 0) break;
    got += static_cast<size_t>(received);
  }
  pair.client->Close();  // the echo thread reads close_notify as the end
  echo.join();
  EXPECT_EQ(back, message);

  CertificateFingerprint other = made.Fingerprint();
  other[0] ^= 0x80;
  TlsPair refused = Handshake(kept, other);
  EXPECT_FALSE(refused.client);
  EXPECT_FALSE(refused.server);
}
