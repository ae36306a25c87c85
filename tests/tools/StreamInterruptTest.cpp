#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "LinkTestKit.h"

// An idle link's threads sleep until something happens to their stream: its
// bytes, or Interrupt from whoever stops them. A wait that nothing ends would
// outlast the test's time limit, so each case below fails by hanging, not by
// timing.
namespace {
constexpr int kUntilWoken = 600000;

#ifdef _WIN32
struct Sockets {
  WinsockSession winsock;
};
#else
struct Sockets {};
#endif
}  // namespace

TEST(StreamInterrupt, EndsTheWaitUnderWayAndEveryLaterOneAndTheStreamStillCarries) {
  Sockets sockets;
  SocketPair pair = ConnectLoopback();
  ASSERT_TRUE(pair.server && pair.server->IsOpen() && pair.client && pair.client->IsOpen());
  std::thread waiter([&] { pair.server->WaitReadable(kUntilWoken); });
  pair.server->Interrupt();  // before or during the wait: either ends it
  waiter.join();
  EXPECT_TRUE(pair.server->WaitReadable(kUntilWoken));  // an interrupt stays

  std::atomic<bool> never{false};
  const uint8_t sent = 0x5A;
  ASSERT_TRUE(pair.client->SendAll(&sent, 1, never));
  uint8_t received = 0;
  EXPECT_EQ(pair.server->Receive(&received, 1, never), 1);
  EXPECT_EQ(received, sent);
}

TEST(StreamInterrupt, EndsAnAcceptorsWaitForAPeer) {
  Sockets sockets;
  std::string error;
  LoopbackSocket listener = LoopbackSocket::Listen(0, &error);
  ASSERT_TRUE(listener.IsOpen()) << error;
  std::atomic<bool> stop{false};
  LoopbackSocket accepted;
  std::thread acceptor([&] { accepted = listener.Accept(stop); });
  stop = true;
  listener.Interrupt();
  acceptor.join();
  EXPECT_FALSE(accepted.IsOpen());
}

// Waits on the socket's own events must not miss bytes that arrive between
// a receive that found none and the wait: a missed one hangs the exchange.
TEST(StreamInterrupt, BytesWakeAWaitingReceiverEveryTime) {
  Sockets sockets;
  SocketPair pair = ConnectLoopback();
  ASSERT_TRUE(pair.server && pair.server->IsOpen());
  std::atomic<bool> never{false};
  std::thread echo([&] {
    uint8_t byte;
    for (int i = 0; i < 500; ++i) {
      while (pair.server->TryReceive(&byte, 1) == ByteStream::kWouldBlock)
        pair.server->WaitReadable(kUntilWoken);
      if (!pair.server->SendAll(&byte, 1, never)) return;
    }
  });
  int answered = 0;
  for (int i = 0; i < 500; ++i) {
    const uint8_t sent = static_cast<uint8_t>(i);
    uint8_t back = 0;
    if (!pair.client->SendAll(&sent, 1, never)) break;
    while (pair.client->TryReceive(&back, 1) == ByteStream::kWouldBlock)
      pair.client->WaitReadable(kUntilWoken);
    answered += back == sent;
  }
  echo.join();
  EXPECT_EQ(answered, 500);
}

TEST(StreamInterrupt, ReachesTheSocketUnderTls) {
  Sockets sockets;
  std::string error;
  TlsIdentity identity = TlsIdentity::Generate(&error);
  ASSERT_TRUE(identity.IsValid()) << error;
  TlsPair pair = Handshake(identity, identity.Fingerprint());
  ASSERT_TRUE(pair.server) << pair.serverError;
  std::thread waiter([&] { pair.server->WaitReadable(kUntilWoken); });
  pair.server->Interrupt();
  waiter.join();
}
