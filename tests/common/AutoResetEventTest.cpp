#include <gtest/gtest.h>

#include <thread>

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

TEST(AutoResetEvent, CloseReleasesAWaiterOnAnotherThread) {
  AutoResetEvent signal;
  ASSERT_TRUE(signal.Create());
  AutoResetEvent::WaitResult result = AutoResetEvent::TIMED_OUT;
  std::thread waiter([&] { result = signal.Wait(AutoResetEvent::kForever); });
  signal.Close();
  waiter.join();
  // Whether the close came before or during the wait, the waiter must not
  // report a time-out: native builds report the closed signal, Win32 builds
  // release the waiter by signalling before the handle goes.
  EXPECT_NE(result, AutoResetEvent::TIMED_OUT);
}
