#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "HostSession.h"
#include "ImportRedirect.h"
#include "session/ProcessCensus.h"

namespace {
// The private messages of the host's posting functions.
constexpr UINT kEnableCapture = 0x1400;
constexpr UINT kPauseCapture = 0x1401;
constexpr UINT kRequestFullUpdate = 0x1402;
constexpr UINT kClickToShare = 0x1403;
constexpr UINT kEnableInputControl = 0x1404;
constexpr UINT kAddHighlight = 0x1405;
constexpr UINT kAddMarker = 0x1406;
constexpr UINT kClearAnnotation = 0x1407;
constexpr UINT kPoll = 0x1408;
constexpr UINT kEnableAnnotation = 0x2400;
constexpr UINT_PTR kUpdateTimer = 1000;
constexpr UINT_PTR kInputTimer = 1001;
constexpr uint32_t kHour = 3600000;

struct Posted {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Posted& o) const {
    return message == o.message && wParam == o.wParam && lParam == o.lParam;
  }
};

std::ostream& operator<<(std::ostream& os, const Posted& p) {
  return os << std::hex << "{0x" << p.message << ", 0x" << p.wParam << ", 0x" << p.lParam << "}"
            << std::dec;
}

bool IsHostMessage(const SessionSpy::Record& r) {
  return (r.message >= kEnableCapture && r.message <= kClearAnnotation) ||
         r.message == kEnableAnnotation;
}

std::vector<Posted> HostMessagesTaken(const SessionSpy& spy) {
  std::vector<Posted> posted;
  for (const SessionSpy::Record& r : spy.Taken(IsHostMessage))
    posted.push_back(Posted{r.message, r.wParam, r.lParam});
  return posted;
}

auto TimerTick(UINT_PTR id) {
  return [id](const SessionSpy::Record& r) { return r.message == WM_TIMER && r.wParam == id; };
}

// A window of the test thread, for the functions that take one.
HWND CreateHostWindow() {
  return CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                         nullptr, nullptr);
}

// Every posting function once, with arguments that would show if they were
// taken as anything but what the host gave; their results, summed.
int CallEveryPostingFunction(const ZKApi& zk) {
  return zk.EnableCapture(1, 1) + zk.PauseCapture(1) + zk.EnableInputControl(1, 1) +
         zk.EnableAnnotation(1) + zk.RequestFullUpdate(1) + zk.ClickToShare(nullptr, 1) +
         zk.AddHighlight() + zk.AddMarker(1) + zk.ClearAnnotation();
}

// Messages in the caller's own queue that the library could have put there
// (a post to a null window lands there) and timers it could have started on
// the caller's thread. Pumps until a timer of the test's own, much slower
// than any the library starts, has fired once.
int StrayMessagesOnThisThread() {
  int strays = 0;
  UINT_PTR bound = SetTimer(nullptr, 0, 250, nullptr);
  for (bool bounded = false; !bounded;) {
    MSG msg;
    if (!GetMessageA(&msg, nullptr, 0, 0)) break;
    if (msg.message == WM_TIMER && msg.wParam == bound)
      bounded = true;
    else if (msg.message == WM_TIMER || (msg.message >= WM_USER && msg.message < WM_APP))
      ++strays;
  }
  KillTimer(nullptr, bound);
  return strays;
}

// Watches the library's own calls of SetTimer and KillTimer: its import
// table entries for them are pointed at recorders that note whether the
// calling thread owns the window (which Win32 requires of timer calls,
// though Wine does not insist) and then call the real functions.
class TimerCallWatch {
 public:
  explicit TimerCallWatch(HMODULE module)
      : setTimer_(module, "user32.dll", "SetTimer", reinterpret_cast<void*>(&RecordSetTimer)),
        killTimer_(module, "user32.dll", "KillTimer", reinterpret_cast<void*>(&RecordKillTimer)) {
    g_realSetTimer = reinterpret_cast<decltype(&SetTimer)>(setTimer_.Original());
    g_realKillTimer = reinterpret_cast<decltype(&KillTimer)>(killTimer_.Original());
    g_onOwnThread = g_foreign = g_windowless = 0;
  }
  bool Installed() const { return setTimer_.Installed() && killTimer_.Installed(); }
  static long OnOwnThread() { return g_onOwnThread; }
  static long FromOtherThreads() { return g_foreign; }
  static long WithoutWindow() { return g_windowless; }

 private:
  static void Note(HWND window) {
    if (!window)
      ++g_windowless;
    else if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
      ++g_onOwnThread;
    else
      ++g_foreign;
  }
  static UINT_PTR WINAPI RecordSetTimer(HWND window, UINT_PTR id, UINT ms, TIMERPROC proc) {
    Note(window);
    return g_realSetTimer(window, id, ms, proc);
  }
  static BOOL WINAPI RecordKillTimer(HWND window, UINT_PTR id) {
    Note(window);
    return g_realKillTimer(window, id);
  }

  ImportRedirect setTimer_;
  ImportRedirect killTimer_;
  static inline decltype(&SetTimer) g_realSetTimer = nullptr;
  static inline decltype(&KillTimer) g_realKillTimer = nullptr;
  static inline std::atomic<long> g_onOwnThread{0}, g_foreign{0}, g_windowless{0};
};
}  // namespace

class HostInterface : public HostSessionTest {};

TEST_F(HostInterface, PostingFunctionsFailWithoutASessionAndTouchNoHostThread) {
  EXPECT_EQ(CallEveryPostingFunction(zk()), 0) << "before ZK_Init";
  // The direct setters have no window to act on either.
  EXPECT_TRUE(zk().SetUpdateFrequency(10));
  EXPECT_TRUE(zk().SetInputUpdateFrequency(10));
  EXPECT_TRUE(zk().SetPollFrequency(10, 0, 4));
  EXPECT_EQ(StrayMessagesOnThisThread(), 0) << "before ZK_Init";

  ASSERT_TRUE(Start());
  EXPECT_EQ(zk().PauseCapture(0), 1);
  Stop();

  EXPECT_EQ(CallEveryPostingFunction(zk()), 0) << "after ZK_Release";
  EXPECT_TRUE(zk().SetUpdateFrequency(10));
  EXPECT_TRUE(zk().SetInputUpdateFrequency(10));
  EXPECT_TRUE(zk().SetPollFrequency(10, 0, 4));
  EXPECT_EQ(StrayMessagesOnThisThread(), 0) << "after ZK_Release";
}

TEST_F(HostInterface, EachPostingFunctionPostsItsMessageWithTheHostsArguments) {
  ASSERT_TRUE(Start());
  HWND host = CreateHostWindow();
  ASSERT_NE(host, nullptr);
  ASSERT_TRUE(spy_.Fence());  // the session's own first message is behind us
  spy_.Clear();

  // Booleans count by their low byte only.
  EXPECT_EQ(zk().EnableCapture(0x100, 77), 1);
  EXPECT_EQ(zk().PauseCapture(1), 1);
  EXPECT_EQ(zk().PauseCapture(0x200), 1);
  EXPECT_EQ(zk().EnableInputControl(0x301, 0xDEADBEEF), 1);
  EXPECT_EQ(zk().EnableInputControl(0x300, 5), 1);
  EXPECT_EQ(zk().EnableAnnotation(0x101), 1);
  EXPECT_EQ(zk().RequestFullUpdate(0xCAFEF00D), 1);
  EXPECT_EQ(zk().ClickToShare(nullptr, 3), 1);
  EXPECT_EQ(zk().ClickToShare(host, 2), 1);
  EXPECT_EQ(zk().AddHighlight(), 1);
  EXPECT_EQ(zk().AddMarker(0x00FF8040), 1);
  EXPECT_EQ(zk().ClearAnnotation(), 1);
  ASSERT_TRUE(spy_.Fence());

  std::vector<Posted> expected = {
      {kEnableCapture, 0, 77},
      {kPauseCapture, 1, 0},
      {kPauseCapture, 0, 0},
      {kEnableInputControl, 1, static_cast<LPARAM>(0xDEADBEEF)},
      {kEnableInputControl, 0, 5},
      {kEnableAnnotation, 1, 0},
      {kRequestFullUpdate, 0xCAFEF00D, 0},
      {kClickToShare, 0, 3},
      {kClickToShare, reinterpret_cast<WPARAM>(host), 2},
      {kAddHighlight, 0, 0},
      {kAddMarker, 0x00FF8040, 0},
      {kClearAnnotation, 0, 0},
  };
  EXPECT_EQ(HostMessagesTaken(spy_), expected);
  DestroyWindow(host);
}

TEST_F(HostInterface, EnablingCaptureQueuesADisplayFormatCarryingTheToken) {
  ASSERT_TRUE(Start("[ZK]\nCaptureDesktop=1\n"));
  // A high byte alone is false: the session stays a viewer and sends nothing.
  ASSERT_EQ(zk().EnableCapture(0x100, 0x11), 1);
  ASSERT_TRUE(spy_.Fence());
  EXPECT_TRUE(TakeQueuedEvents(zk()).empty());

  ASSERT_EQ(zk().EnableCapture(0x201, 0x12345678), 1);
  EventList events;
  ASSERT_TRUE(CollectUntil(zk(), &events, [](const EventList& e) {
    return !OfType(e, ZKP_DISPLAYFORMAT).empty();
  }));
  const Bytes format = OfType(events, ZKP_DISPLAYFORMAT).front().payload;
  ASSERT_EQ(format.size(), kDisplayFormatSize);
  DisplayFormatMessage parsed;
  ASSERT_TRUE(ParseBytes(format, &parsed));
  EXPECT_EQ(parsed.token, 0x12345678u);
}

TEST_F(HostInterface, FullUpdateRequestsAreAnsweredOnceByAPresenterAndNeverByAViewer) {
  ASSERT_TRUE(Start("[ZK]\nCaptureDesktop=1\n"));
  ASSERT_EQ(zk().RequestFullUpdate(11), 1);
  ASSERT_TRUE(spy_.Fence());
  EXPECT_TRUE(OfType(TakeQueuedEvents(zk()), ZKP_FULLUPDATE).empty()) << "a viewer answered";

  ASSERT_EQ(zk().EnableCapture(1, 3), 1);
  ASSERT_EQ(zk().RequestFullUpdate(0xA5A5A5A5), 1);
  EventList events;
  ASSERT_TRUE(CollectUntil(zk(), &events, [](const EventList& e) {
    return !OfType(e, ZKP_FULLUPDATE).empty();
  }));
  ASSERT_TRUE(spy_.Fence());
  EventList later = TakeQueuedEvents(zk());
  events.insert(events.end(), later.begin(), later.end());
  EventList answers = OfType(events, ZKP_FULLUPDATE);
  ASSERT_EQ(answers.size(), 1u);
  FullUpdateHeader header;
  ASSERT_TRUE(ParseBytes(answers.front().payload, &header));
  EXPECT_EQ(header.requestTag, 0xA5A5A5A5u);
}

TEST_F(HostInterface, HighlightOnAnAnnotatingViewerAnnouncesAnnotationMode) {
  ASSERT_TRUE(Start());
  // Without annotation enabled a highlight request changes nothing.
  ASSERT_EQ(zk().AddHighlight(), 1);
  ASSERT_TRUE(spy_.Fence());
  EXPECT_TRUE(TakeQueuedEvents(zk()).empty());

  ASSERT_EQ(zk().EnableAnnotation(1), 1);
  ASSERT_EQ(zk().AddHighlight(), 1);
  EventList events;
  ASSERT_TRUE(CollectUntil(zk(), &events, [](const EventList& e) {
    return !OfType(e, ZKP_ANNOTATIONMODE).empty();
  }));
  EventList modes = OfType(events, ZKP_ANNOTATIONMODE);
  ASSERT_EQ(modes.size(), 1u);
  ASSERT_EQ(modes.front().payload.size(), kAnnotationModeSize);
  AnnotationModeMessage mode;
  ASSERT_TRUE(ParseBytes(modes.front().payload, &mode));
  EXPECT_EQ(mode.token, 0u) << "a viewer announces with token 0";
  EXPECT_EQ(mode.on, 1);
}

TEST_F(HostInterface, TakingFromAnEmptyQueueFailsAndLeavesTheRecordAlone) {
  uint8_t sentinel = 0;
  const HostEvent untouched = {0xAAAAAAAA, 0xBBBBBBBB, &sentinel};
  HostEvent record = untouched;
  EXPECT_EQ(zk().GetQueuedEvent(&record), 0) << "before ZK_Init";

  ASSERT_TRUE(Start());
  ASSERT_TRUE(spy_.Fence());
  TakeQueuedEvents(zk());
  record = untouched;
  EXPECT_EQ(zk().GetQueuedEvent(&record), 0);
  EXPECT_EQ(record.type, untouched.type);
  EXPECT_EQ(record.size, untouched.size);
  EXPECT_EQ(record.payload, untouched.payload);
}

TEST_F(HostInterface, ClickToShareRefusesADestroyedWindowAndPostsANullOne) {
  ASSERT_TRUE(Start());
  HWND gone = CreateHostWindow();
  ASSERT_NE(gone, nullptr);
  DestroyWindow(gone);
  ASSERT_TRUE(spy_.Fence());
  spy_.Clear();

  EXPECT_EQ(zk().ClickToShare(gone, 1), 0);
  EXPECT_EQ(zk().ClickToShare(nullptr, 2), 1);
  ASSERT_TRUE(spy_.Fence());
  std::vector<Posted> expected = {{kClickToShare, 0, 2}};
  EXPECT_EQ(HostMessagesTaken(spy_), expected);
}

// A host that sets the poll frequency in a loop must not queue a poll pass
// per call: the worker would grab the screen for each, and Release wait
// behind them.
TEST_F(HostInterface, SettingThePollFrequencyInALoopQueuesOnePoll) {
  ASSERT_TRUE(Start());
  ASSERT_EQ(zk().SetPollFrequency(kHour, 0, 0), 1);  // no tick falls due meanwhile
  ASSERT_TRUE(spy_.Fence());
  spy_.Clear();
  // The worker is held still, so every call finds the first one's poll queued.
  HANDLE worker = OpenThread(THREAD_SUSPEND_RESUME, FALSE, spy_.WorkerThreadId());
  ASSERT_NE(worker, nullptr);
  ASSERT_NE(SuspendThread(worker), static_cast<DWORD>(-1));
  for (int call = 0; call < 1000; ++call) zk().SetPollFrequency(kHour, 0, 0);
  ResumeThread(worker);
  CloseHandle(worker);
  ASSERT_TRUE(spy_.Fence());
  const auto polls = spy_.Taken([](const SessionSpy::Record& r) { return r.message == kPoll; });
  EXPECT_EQ(polls.size(), 1u);
  // Once taken, the next call polls again.
  spy_.Clear();
  zk().SetPollFrequency(kHour, 0, 0);
  ASSERT_TRUE(spy_.Fence());
  EXPECT_EQ(spy_.Taken([](const SessionSpy::Record& r) { return r.message == kPoll; }).size(), 1u);
}

TEST_F(HostInterface, ZeroFrequenciesAreRefusedAndTheRunningTimersKeepTheirPeriods) {
  ASSERT_TRUE(Start());
  ASSERT_TRUE(spy_.Fence());
  spy_.Clear();
  EXPECT_EQ(zk().SetUpdateFrequency(0), 0);
  EXPECT_EQ(zk().SetInputUpdateFrequency(0), 0);
  EXPECT_TRUE(spy_.AwaitTaken(TimerTick(kUpdateTimer), 2)) << "the update timer stopped";
  EXPECT_TRUE(spy_.AwaitTaken(TimerTick(kInputTimer), 2)) << "the input timer stopped";

  // With an hour's period, a restart at the shortest period would show as a
  // tick while the other timer ticks three times.
  ASSERT_EQ(zk().SetInputUpdateFrequency(kHour), 1);
  ASSERT_TRUE(spy_.Fence());
  spy_.Clear();
  EXPECT_EQ(zk().SetInputUpdateFrequency(0), 0);
  ASSERT_TRUE(spy_.AwaitTaken(TimerTick(kUpdateTimer), 3));
  EXPECT_TRUE(spy_.Taken(TimerTick(kInputTimer)).empty());

  ASSERT_EQ(zk().SetInputUpdateFrequency(200), 1);
  ASSERT_EQ(zk().SetUpdateFrequency(kHour), 1);
  ASSERT_TRUE(spy_.Fence());
  spy_.Clear();
  EXPECT_EQ(zk().SetUpdateFrequency(0), 0);
  ASSERT_TRUE(spy_.AwaitTaken(TimerTick(kInputTimer), 3));
  EXPECT_TRUE(spy_.Taken(TimerTick(kUpdateTimer)).empty());
}

TEST_F(HostInterface, SetParentWindowMakesTheHostWindowTheOwner) {
  HWND host = CreateHostWindow();
  ASSERT_NE(host, nullptr);
  ASSERT_TRUE(Start());
  EXPECT_EQ(zk().SetParentWindow(host), 1);
  EXPECT_EQ(GetWindow(window_, GW_OWNER), host);
  Stop();
  DestroyWindow(host);
}

// Timers belong to the thread of their window: the setters that hosts call
// on their own threads leave every timer change to the worker, also while a
// ZK_Release is under way, and never start a timer on the host's thread.
TEST_F(HostInterface, SettersLeaveTimerChangesToTheWorkerEvenDuringRelease) {
  TimerCallWatch timers(ZKModule());
  ASSERT_TRUE(timers.Installed());
  ASSERT_TRUE(Start());
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread host([&] {
    // A round a millisecond: often enough to meet every step of a release.
    while (WaitForSingleObject(stop, 1) == WAIT_TIMEOUT) {
      zk().SetUpdateFrequency(100);
      zk().SetInputUpdateFrequency(150);
      zk().SetPollFrequency(120, 0, 4);
      zk().SetPosition(10, 10, 300, 200, 1);
    }
  });
  for (int session = 0; session < 10; ++session) {
    ASSERT_TRUE(spy_.Fence());
    Stop();
    ASSERT_TRUE(Start());
  }
  SetEvent(stop);
  host.join();
  CloseHandle(stop);
  ASSERT_TRUE(spy_.Fence());
  EXPECT_GT(TimerCallWatch::OnOwnThread(), 0) << "the worker set no timer at all";
  EXPECT_EQ(TimerCallWatch::FromOtherThreads(), 0) << "a host thread set or killed a worker's timer";
  EXPECT_EQ(TimerCallWatch::WithoutWindow(), 0) << "a timer was set on a thread, not a window";
}
