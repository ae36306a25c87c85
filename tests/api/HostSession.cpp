#include "HostSession.h"

#include <cstdio>

#include "session/ProcessCensus.h"

namespace {
constexpr char kConfigFile[] = ".\\ZK.ini";
constexpr UINT_PTR kUpdateTimer = 1000;
}  // namespace

void HostSessionTest::SetUp() {
  zk_ = LoadZKApi();
  ASSERT_NE(zk_, nullptr) << "ZK.dll or one of its functions is missing";
  DeleteFileA(kConfigFile);
  TakeQueuedEvents(zk());
}

void HostSessionTest::TearDown() {
  if (zk_) Stop();
  DeleteFileA(kConfigFile);
}

void HostSessionTest::WriteConfig(const char* text) {
  FILE* f = std::fopen(kConfigFile, "w");
  ASSERT_NE(f, nullptr);
  std::fputs(text, f);
  std::fclose(f);
}

::testing::AssertionResult HostSessionTest::Start(const char* config, HWND parent) {
  if (config) WriteConfig(config);
  if (!zk().Init(parent)) return ::testing::AssertionFailure() << "ZK_Init failed";
  window_ = FindSessionWindow();
  if (!window_) return ::testing::AssertionFailure() << "no session window after ZK_Init";
  if (!spy_.Attach(window_)) return ::testing::AssertionFailure() << "cannot hook the worker";
  return ::testing::AssertionSuccess();
}

void HostSessionTest::Stop() {
  zk().Release();
  // The worker has ended: no hook procedure can be running any more.
  spy_.Detach();
  window_ = nullptr;
  TakeQueuedEvents(zk());
}

::testing::AssertionResult HostSessionTest::DispatchNow() {
  if (!spy_.PostTick(kUpdateTimer)) return ::testing::AssertionFailure() << "cannot post a tick";
  if (!spy_.Fence()) return ::testing::AssertionFailure() << "the worker did not take the fence";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult HostSessionTest::ShowAt(int x, int y, int width, int height) {
  zk().SetPosition(x, y, width, height, 1);
  bool placed = PumpUntil(
      [&] {
        RECT r;
        return IsWindowVisible(window_) && GetWindowRect(window_, &r) && r.left == x && r.top == y;
      },
      10000);
  if (!placed) return ::testing::AssertionFailure() << "the session window was not shown";
  return ::testing::AssertionSuccess();
}
