#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ProcessCensus.h"
#include "TestSession.h"
#include "common/Trace.h"
#include "session/ZKWindow.h"

namespace {
ZKWindow& Session() { return TestSession(); }

std::vector<std::string> g_warnings;
void CaptureWarnings(int level, const char* line) {
  if (level == TRACE_WARNING) g_warnings.emplace_back(line);
}

volatile LONG g_destroys = 0;
void CountDestroys(int, const char* line) {
  if (std::string(line) == "\r\nZKWindow: Destroy Called.") InterlockedIncrement(&g_destroys);
}

// Each test starts without a configuration file, or with the one it writes.
class SessionLifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteFileA("ZK.ini"); }
  void TearDown() override {
    Session().Release();
    DeleteFileA("ZK.ini");
  }
  static void WriteConfig(const char* text) {
    FILE* f = std::fopen("ZK.ini", "w");
    std::fputs(text, f);
    std::fclose(f);
  }
  static bool Start() { return Session().Init(GetModuleHandleA(nullptr), nullptr); }
};

std::string ClassName(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string Title(HWND window) {
  char title[64] = {};
  GetWindowTextA(window, title, sizeof title);
  return title;
}
}  // namespace

TEST_F(SessionLifecycleTest, WithoutConfigurationTheWindowIsAHiddenFramelessDefault) {
  ASSERT_TRUE(Start());
  HWND window = Session().GetWindow();
  ASSERT_TRUE(IsWindow(window));
  EXPECT_EQ(ClassName(window), "Morvane Zenkast");
  EXPECT_EQ(Title(window), "Morvane Zenkast");
  RECT r;
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right - r.left, 512);
  EXPECT_EQ(r.bottom - r.top, 384);
  EXPECT_FALSE(IsWindowVisible(window));
  LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, 0);
  EXPECT_EQ(style & (WS_BORDER | WS_THICKFRAME), 0);

  EXPECT_EQ(Session().GetDisplayMode(), ZKM_DISPLAY);
  EXPECT_EQ(Session().GetPollInterval(), 200u);
  EXPECT_EQ(Session().GetPollProgressive(), 10u);
  EXPECT_EQ(Session().GetUpdateInterval(), 200u);
  EXPECT_EQ(Session().GetInputInterval(), 200u);
  EXPECT_EQ(Session().GetMaxQueueSize(), 32768u);
  EXPECT_EQ(Session().GetStageFlags(), STAGE_HUFFMAN | STAGE_RLE565 | STAGE_LZ77);
  EXPECT_EQ(Session().GetLZMaxSearch(), 32768);
  EXPECT_EQ(Session().GetDynamicUpdateThreshold(), 50u);
  EXPECT_EQ(Session().GetLocalMouseOverride(), 500u);
  EXPECT_FALSE(Session().IsCaptureDesktop());
  EXPECT_FALSE(Session().IsShowStatistics());
}

TEST_F(SessionLifecycleTest, ConfiguredTitleBarAndBorderAreKept) {
  WriteConfig("[ZK]\nShowTitleBar=1\nShowBorder=1\n");
  ASSERT_TRUE(Start());
  LONG style = GetWindowLongA(Session().GetWindow(), GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(style & (WS_BORDER | WS_THICKFRAME), WS_BORDER | WS_THICKFRAME);
}

TEST_F(SessionLifecycleTest, DisabledPollingIgnoresThePollKeys) {
  WriteConfig("[ZK]\nEnablePolling=0\nPollInterval=500\nPollProgressive=4\nPollExclusive=1\n");
  ASSERT_TRUE(Start());
  EXPECT_EQ(Session().GetPollInterval(), 0u);
  EXPECT_EQ(Session().GetPollProgressive(), 0u);
  EXPECT_FALSE(Session().IsPollExclusive());
}

TEST_F(SessionLifecycleTest, EveryConfiguredKeyTakesEffect) {
  WriteConfig(
      "[ZK]\nCaptureDesktop=1\nDynamicUpdateThreshhold=30\nInputUpdateInterval=150\n"
      "UpdateInterval=300\nUseLightInputControl=5\nPollProgressive=4\nPollExclusive=1\n"
      "PollInterval=120\nLocalMouseOverride=700\n"
      "[CompressionMgr]\nEnableHuffman=0\nEnableLZ=1\nEnableRLE332=1\nEnableRLE565=0\n"
      "LZMaxSearch=64\n"
      "[EventMgr]\nMaxQueueSize=1000\n");
  ASSERT_TRUE(Start());
  EXPECT_TRUE(Session().IsCaptureDesktop());
  EXPECT_EQ(Session().GetDynamicUpdateThreshold(), 30u);
  EXPECT_EQ(Session().GetInputInterval(), 150u);
  EXPECT_EQ(Session().GetUpdateInterval(), 300u);
  EXPECT_TRUE(Session().IsLightInputControl());
  EXPECT_EQ(Session().GetPollProgressive(), 4u);
  EXPECT_TRUE(Session().IsPollExclusive());
  EXPECT_EQ(Session().GetPollInterval(), 120u);
  EXPECT_EQ(Session().GetLocalMouseOverride(), 700u);
  EXPECT_EQ(Session().GetStageFlags(), STAGE_RLE332 | STAGE_LZ77);
  EXPECT_EQ(Session().GetLZMaxSearch(), 64);
  EXPECT_EQ(Session().GetMaxQueueSize(), 1000u);
}

TEST_F(SessionLifecycleTest, TheFiveSixFiveKeyWinsOverTheEightBitKey) {
  WriteConfig("[CompressionMgr]\nEnableRLE332=1\n");
  ASSERT_TRUE(Start());
  EXPECT_EQ(Session().GetStageFlags(), STAGE_HUFFMAN | STAGE_RLE565 | STAGE_LZ77);
}

TEST_F(SessionLifecycleTest, FiftySessionsGiveBackEveryThreadHandleAndWindow) {
  // One session first: the window class and the system's caches stay.
  ASSERT_TRUE(Start());
  Session().Release();
  ProcessCensus before = TakeProcessCensus();
  ASSERT_GT(before.threads, 0);
  ASSERT_GT(before.handles, 0u) << "the handle count cannot be read here";

  g_warnings.clear();
  TraceSink previous = SetTraceSink(CaptureWarnings);
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(IsWindow(Session().GetWindow()));
    Session().Release();
  }
  SetTraceSink(previous);

  ProcessCensus after = TakeProcessCensus();
  EXPECT_EQ(after.threads, before.threads);
  EXPECT_EQ(after.handles, before.handles);
  EXPECT_EQ(after.windows, before.windows);
  EXPECT_TRUE(g_warnings.empty()) << "a worker had to be terminated: " << g_warnings.front();
}

TEST_F(SessionLifecycleTest, ClosingTheWindowEndsTheSessionAsReleaseDoes) {
  WriteConfig("[ZK]\nCaptureDesktop=1\n");
  ASSERT_TRUE(Start());
  HWND first = Session().GetWindow();
  Session().SetPosition(100, 100, 320, 240, true);
  PostMessageA(first, WM_ZK_ENABLECAPTURE, 1, 7);
  // The worker sets the mode before it shapes the window for it.
  ASSERT_TRUE(PumpUntil(
      [] { return Session().GetDisplayMode() == ZKM_CAPTURE && Session().GetRegionCount() > 0; },
      10000))
      << "the capture frame shapes the window";

  g_destroys = 0;
  TraceSink previous = SetTraceSink(CountDestroys);
  PostMessageA(first, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(first); }, 10000));
  ASSERT_TRUE(Start());
  EXPECT_TRUE(IsWindow(Session().GetWindow()));
  EXPECT_EQ(Session().GetDisplayMode(), ZKM_DISPLAY);
  EXPECT_EQ(Session().GetRegionCount(), 0u) << "the closed session's region is still listed";
  Session().Release();
  SetTraceSink(previous);
  EXPECT_EQ(g_destroys, 2) << "each of the two sessions is destroyed once";
}

TEST_F(SessionLifecycleTest, InitWhileASessionRunsLeavesItUntouched) {
  ASSERT_TRUE(Start());
  HWND window = Session().GetWindow();
  PostMessageA(window, WM_ZK_ENABLECAPTURE, 1, 7);
  ASSERT_TRUE(PumpUntil([] { return (Session().GetRoleFlags() & ROLE_CAPTURE) != 0; }, 10000));

  EXPECT_TRUE(Start());
  EXPECT_EQ(Session().GetWindow(), window);
  EXPECT_NE(Session().GetRoleFlags() & ROLE_CAPTURE, 0u);
  EXPECT_EQ(Session().GetToken(), 7u);
}

TEST_F(SessionLifecycleTest, TheStatisticsWindowShowsOnlyWhenConfigured) {
  ASSERT_TRUE(Start());
  EXPECT_EQ(Session().GetStatisticsDialog(), nullptr);
  Session().Release();

  WriteConfig("[ZK]\nShowStatistics=1\n");
  ASSERT_TRUE(Start());
  HWND dialog = Session().GetStatisticsDialog();
  ASSERT_TRUE(IsWindow(dialog));
  EXPECT_EQ(Title(dialog), "ZK Statistics");
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(GetWindowLongA(dialog, GWL_STYLE) & WS_SYSMENU, 0) << "the user cannot close it";
}
