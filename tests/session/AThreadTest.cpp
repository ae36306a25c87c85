#include "session/AThread.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Trace.h"

namespace {
struct Counters {
  LONG starts = 0;
  LONG loops = 0;
  LONG exits = 0;
  DWORD startThread = 0;
  DWORD exitThread = 0;
  HANDLE blockForever = nullptr;
  LONG stopAfter = -1;
};

void Start(void* c) {
  auto* counters = static_cast<Counters*>(c);
  counters->startThread = GetCurrentThreadId();
  InterlockedIncrement(&counters->starts);
}

void Exit(void* c) {
  auto* counters = static_cast<Counters*>(c);
  counters->exitThread = GetCurrentThreadId();
  InterlockedIncrement(&counters->exits);
}

bool Loop(void* c) {
  auto* counters = static_cast<Counters*>(c);
  LONG n = InterlockedIncrement(&counters->loops);
  if (counters->blockForever) WaitForSingleObject(counters->blockForever, INFINITE);
  return counters->stopAfter < 0 || n < counters->stopAfter;
}

std::vector<std::string> g_traces;
void CaptureTrace(int, const char* line) { g_traces.emplace_back(line); }
}  // namespace

TEST(AThread, RunsStartLoopAndExitOnOneThreadAndStopsOnRequest) {
  Counters counters;
  AThread thread;
  ASSERT_TRUE(thread.Create(Loop, &counters, nullptr, Start, Exit));
  // Create returns only after the start routine has run.
  EXPECT_EQ(counters.starts, 1);
  EXPECT_TRUE(thread.IsRunning());
  EXPECT_TRUE(thread.Create(Loop, &counters, nullptr, Start, Exit)) << "a second Create is a no-op";
  EXPECT_EQ(counters.starts, 1);
  DWORD start = GetTickCount();
  while (counters.loops == 0 && GetTickCount() - start < 10000) Sleep(1);

  thread.Destroy(20000, true);
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(thread.GetThreadId(), 0u);
  EXPECT_EQ(counters.exits, 1);
  EXPECT_EQ(counters.startThread, counters.exitThread);
  EXPECT_NE(counters.startThread, GetCurrentThreadId());
}

TEST(AThread, EndsWhenTheLoopRoutineReturnsFalse) {
  Counters counters;
  counters.stopAfter = 3;
  AThread thread;
  ASSERT_TRUE(thread.Create(Loop, &counters, nullptr, nullptr, Exit));
  DWORD start = GetTickCount();
  while (!thread.HasEnded() && GetTickCount() - start < 10000) Sleep(1);
  EXPECT_TRUE(thread.HasEnded());
  EXPECT_EQ(counters.loops, 3);
  EXPECT_EQ(counters.exits, 1);
  thread.Destroy(20000, true);
  EXPECT_FALSE(thread.IsRunning());
}

TEST(AThread, LoopRunsOnlyWhenTheWaitHandleIsSignalled) {
  Counters counters;
  HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  AThread thread;
  ASSERT_TRUE(thread.Create(Loop, &counters, wake, nullptr, nullptr));
  EXPECT_EQ(counters.loops, 0);
  for (int i = 1; i <= 3; ++i) {
    SetEvent(wake);
    DWORD start = GetTickCount();
    while (counters.loops < i && GetTickCount() - start < 10000) Sleep(1);
    EXPECT_EQ(counters.loops, i);
  }
  thread.Destroy(20000, true);
  EXPECT_EQ(counters.loops, 3);
  CloseHandle(wake);
}

TEST(AThread, TerminatesAWorkerThatDoesNotStopInTime) {
  Counters counters;
  counters.blockForever = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  AThread thread;
  ASSERT_TRUE(thread.Create(Loop, &counters, nullptr, nullptr, Exit));
  DWORD start = GetTickCount();
  while (counters.loops == 0 && GetTickCount() - start < 10000) Sleep(1);

  g_traces.clear();
  TraceSink previous = SetTraceSink(CaptureTrace);
  thread.Destroy(50, true);
  SetTraceSink(previous);

  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(counters.exits, 0) << "a terminated thread runs no exit routine";
  std::vector<std::string> expected = {"\r\n***Warning***", "\r\nAThread::Destroy - Timeout Expired.",
                                       "\r\nTerminating Thread..."};
  EXPECT_EQ(g_traces, expected);
  CloseHandle(counters.blockForever);
}
