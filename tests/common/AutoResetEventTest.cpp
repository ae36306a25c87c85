#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "common/AutoResetEvent.h"

TEST(AutoResetEvent, FailsAtOnceWhileNotCreatedOrClosed) {
  AutoResetEvent signal;
  EXPECT_FALSE(signal.IsCreated());
  EXPECT_EQ(signal.Wait(AutoResetEvent::kForever), AutoResetEvent::FAILED);

  ASSERT_TRUE(signal.Create());
  signal.Set();
  signal.Close();
  signal.Close();  // a second close does nothing
  EXPECT_FALSE(signal.IsCreated());
  EXPECT_EQ(signal.Wait(AutoResetEvent::kForever), AutoResetEvent::FAILED);
}

TEST(AutoResetEvent, OneSetReleasesOneWaitAndResets) {
  AutoResetEvent signal;
  ASSERT_TRUE(signal.Create());
  EXPECT_EQ(signal.Wait(0), AutoResetEvent::TIMED_OUT);
  signal.Set();
  signal.Set();  // collapses into the first
  EXPECT_EQ(signal.Wait(0), AutoResetEvent::SIGNALLED);
  EXPECT_EQ(signal.Wait(0), AutoResetEvent::TIMED_OUT);
}

TEST(AutoResetEvent, CreateAgainAfterCloseStartsUnsignalled) {
  AutoResetEvent signal;
  ASSERT_TRUE(signal.Create());
  signal.Set();
  signal.Close();
  ASSERT_TRUE(signal.Create());
  EXPECT_EQ(signal.Wait(0), AutoResetEvent::TIMED_OUT);
}

TEST(AutoResetEvent, SetFromAnotherThreadWakesAWaiter) {
  AutoResetEvent signal;
  ASSERT_TRUE(signal.Create());
  std::thread setter([&signal] { signal.Set(); });
  EXPECT_EQ(signal.Wait(AutoResetEvent::kForever), AutoResetEvent::SIGNALLED);
  setter.join();
}

TEST(AutoResetEvent, CloseReleasesEveryWaiterOnOtherThreads) {
  constexpr int kWaiters = 4;
  constexpr auto kDeadline = std::chrono::seconds(10);
  AutoResetEvent signal;
  ASSERT_TRUE(signal.Create());
  std::atomic<int> waiting{0}, released{0}, timedOut{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i)
    waiters.emplace_back([&] {
      ++waiting;
      if (signal.Wait(AutoResetEvent::kForever) == AutoResetEvent::TIMED_OUT) ++timedOut;
      ++released;
    });
  // Most of them are inside the wait by the time the close comes; whether a
  // waiter is before, inside or past its wait, it must come back.
  while (waiting < kWaiters) std::this_thread::yield();
  signal.Close();
  const auto end = std::chrono::steady_clock::now() + kDeadline;
  while (released < kWaiters && std::chrono::steady_clock::now() < end) std::this_thread::yield();

  EXPECT_EQ(released, kWaiters) << "a waiter still sleeps on the closed signal";
  EXPECT_EQ(timedOut, 0);
  for (std::thread& t : waiters) {
    if (released == kWaiters)
      t.join();
    else
      t.detach();  // stuck for good: the process ends with it
  }
}
