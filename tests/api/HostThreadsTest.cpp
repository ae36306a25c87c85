#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "HostSession.h"
#include "session/ProcessCensus.h"

namespace {
using Clock = std::chrono::steady_clock;

constexpr auto kLoadDuration = std::chrono::seconds(10);
constexpr auto kSettleTime = std::chrono::seconds(30);
constexpr uint32_t kPresenterToken = 5;
constexpr uint32_t kPresenterInputToken = 1000;
constexpr uint32_t kStaleInputToken = 10;  // below the presenter's: every one is refused
constexpr size_t kMaxOutstandingRequests = 4;
constexpr size_t kMaxOutstandingInputs = 16;
constexpr char kConfig[] = "[ZK]\nCaptureDesktop=1\n";

// What the host threads asked for and what came back. The outgoing events a
// host can see are the measure of loss: each full-update request must be
// answered by exactly one container carrying its tag, and each received
// input event with a stale token by exactly one refusal.
struct Ledger {
  std::mutex mutex;
  std::condition_variable changed;
  std::set<uint32_t> requested;
  std::map<uint32_t, int> answered;
  size_t unansweredRequests = 0;
  size_t inputsPosted = 0;
  size_t refusals = 0;
  size_t malformedContainers = 0;
  std::map<uint32_t, size_t> eventsByType;

  size_t UnansweredInputs() const { return inputsPosted > refusals ? inputsPosted - refusals : 0; }
  bool Settled() const { return unansweredRequests == 0 && refusals >= inputsPosted; }
};

void Record(Ledger& ledger, const HostEvent& event) {
  std::lock_guard<std::mutex> lock(ledger.mutex);
  ++ledger.eventsByType[event.type];
  if (event.type == wire::kFullUpdate) {
    FullUpdate update;
    if (!ParseFullUpdate(Bytes(event.payload, event.payload + event.size), &update)) {
      ++ledger.malformedContainers;
      return;
    }
    if (++ledger.answered[update.tag] == 1 && ledger.requested.count(update.tag))
      --ledger.unansweredRequests;
  } else if (event.type == wire::kCancelInputControl) {
    ++ledger.refusals;
  }
  ledger.changed.notify_all();
}

// Waits on the library and drains what it signals, as a host's sender does.
void Drain(const ZKApi& zk, Ledger& ledger, const std::atomic<bool>& stop) {
  while (!stop) {
    zk.WaitForEvents(100);
    HostEvent event;
    while (zk.GetQueuedEvent(&event)) {
      Record(ledger, event);
      if (event.payload) GlobalFree(event.payload);
    }
  }
}

// Asks for full updates with fresh tags, a few at a time.
void Request(const ZKApi& zk, Ledger& ledger, Clock::time_point end) {
  for (uint32_t tag = 1; Clock::now() < end; ++tag) {
    std::unique_lock<std::mutex> lock(ledger.mutex);
    if (!ledger.changed.wait_until(lock, end, [&] {
          return ledger.unansweredRequests < kMaxOutstandingRequests;
        }))
      return;
    // Booked before posting: a drainer may see the answer before this thread
    // runs again.
    ledger.requested.insert(tag);
    ++ledger.unansweredRequests;
    lock.unlock();
    if (tag % 8 == 0) zk.PauseCapture(0);
    if (zk.RequestFullUpdate(tag)) continue;
    // A post that fails loses the request by definition; nothing will answer it.
    lock.lock();
    ledger.requested.erase(tag);
    --ledger.unansweredRequests;
  }
}

// Hands in received input events that the presenter must refuse, alone and
// in containers, and display messages from an older presenter it must ignore.
void Post(const ZKApi& zk, Ledger& ledger, Clock::time_point end) {
  const Bytes key = InputPayload(kStaleInputToken, WM_KEYDOWN, 'A', 0x001E0001);
  const Bytes mouse = InputPayload(kStaleInputToken, WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));
  const Bytes container =
      FullUpdatePayload(0, {{wire::kKeyboardUpdate, key}, {wire::kMouseUpdate, mouse}});
  for (unsigned round = 0; Clock::now() < end; ++round) {
    std::unique_lock<std::mutex> lock(ledger.mutex);
    if (!ledger.changed.wait_until(lock, end, [&] {
          return ledger.UnansweredInputs() < kMaxOutstandingInputs;
        }))
      return;
    // Booked before posting, as requests are.
    const size_t inputs = round % 3 == 0 ? 2 : 1;
    ledger.inputsPosted += inputs;
    lock.unlock();
    bool posted = round % 3 == 0   ? PostReceived(zk, wire::kFullUpdate, container)
                  : round % 3 == 1 ? PostReceived(zk, wire::kMouseUpdate, mouse)
                                   : PostReceived(zk, wire::kKeyboardUpdate, key);
    if (round % 5 == 0) PostReceived(zk, wire::kDisplayFormat, DisplayFormatPayload(1, 64, 64));
    if (posted) continue;
    lock.lock();
    ledger.inputsPosted -= inputs;
  }
}

constexpr UINT_PTR kUpdateTimer = 1000;
constexpr char kLZ77DumpFile[] = "C:\\LZDecode.bin";

// A stream whose LZ77 stage refers back before its start: the decoder
// fails on it and reports it.
Bytes CorruptStream() { return Bytes{0x08, 0x85, 0x01, 0x00}; }

bool IsMessageBox(HWND window) {
  char name[16] = {};
  return GetClassNameA(window, name, sizeof name) > 0 && std::string(name) == "#32770";
}

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
  if (!IsMessageBox(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

HWND MessageBoxOf(DWORD threadId) {
  HWND box = nullptr;
  EnumThreadWindows(threadId, FindBox, reinterpret_cast<LPARAM>(&box));
  return box;
}
}  // namespace

class HostThreads : public HostSessionTest {
 protected:
  void StartPresenter() {
    ASSERT_TRUE(Start(kConfig));
    ASSERT_TRUE(ShowAt(100, 100, 320, 240));
    ASSERT_EQ(zk().EnableCapture(1, kPresenterToken), 1);
    ASSERT_EQ(zk().EnableInputControl(1, kPresenterInputToken), 1);
    // Capturing for real: a stale input event is refused, which only happens there.
    ASSERT_TRUE(PostReceived(zk(), wire::kKeyboardUpdate,
                             InputPayload(kStaleInputToken, WM_KEYDOWN, 'A', 0x001E0001)));
    ASSERT_TRUE(DispatchNow());
    EventList events;
    ASSERT_TRUE(CollectUntil(zk(), &events, [](const EventList& e) {
      return !OfType(e, wire::kCancelInputControl).empty();
    }));
  }
};

TEST_F(HostThreads, FourHostThreadsForTenSecondsLoseNothingAndReleaseCleanly) {
  // A first session leaves the window class, the hooks library and the
  // system's caches behind.
  StartPresenter();
  Stop();
  ProcessCensus before = TakeProcessCensus();

  StartPresenter();
  spy_.Detach();  // the spy's records would only grow: nothing reads them here
  Ledger ledger;
  std::atomic<bool> stopDraining{false};
  const Clock::time_point end = Clock::now() + kLoadDuration;
  std::thread drainers[] = {std::thread(Drain, std::cref(zk()), std::ref(ledger), std::cref(stopDraining)),
                            std::thread(Drain, std::cref(zk()), std::ref(ledger), std::cref(stopDraining))};
  std::thread requester(Request, std::cref(zk()), std::ref(ledger), end);
  std::thread poster(Post, std::cref(zk()), std::ref(ledger), end);
  requester.join();
  poster.join();
  {
    std::unique_lock<std::mutex> lock(ledger.mutex);
    EXPECT_TRUE(ledger.changed.wait_until(lock, Clock::now() + kSettleTime,
                                          [&] { return ledger.Settled(); }))
        << ledger.unansweredRequests << " requests and " << ledger.UnansweredInputs()
        << " input events unanswered";
  }
  stopDraining = true;
  for (std::thread& t : drainers) t.join();

  EXPECT_GT(ledger.requested.size(), 20u) << "too little load to mean anything";
  EXPECT_GT(ledger.inputsPosted, 20u);
  EXPECT_EQ(ledger.malformedContainers, 0u);
  for (uint32_t tag : ledger.requested) EXPECT_EQ(ledger.answered[tag], 1) << "tag " << tag;
  for (const auto& answer : ledger.answered)
    EXPECT_TRUE(ledger.requested.count(answer.first)) << "unrequested tag " << answer.first;
  EXPECT_EQ(ledger.refusals, ledger.inputsPosted);

  EXPECT_EQ(zk().Release(), 1);
  ProcessCensus after = TakeProcessCensus();
  EXPECT_EQ(after.threads, before.threads);
  EXPECT_EQ(after.windows, before.windows);
  EXPECT_EQ(FindSessionWindow(), nullptr);
  std::printf("requests %u, input events %u, display updates %u, containers %u\n",
              static_cast<unsigned>(ledger.requested.size()),
              static_cast<unsigned>(ledger.inputsPosted),
              static_cast<unsigned>(ledger.eventsByType[wire::kDisplayUpdate]),
              static_cast<unsigned>(ledger.eventsByType[wire::kFullUpdate]));
}

// The worker tells the user of a corrupt stream in a message box; nothing
// that host threads wait for may be held while the box waits for the user.
TEST_F(HostThreads, ACorruptStreamsMessageBoxBlocksNoHostThread) {
  ASSERT_TRUE(Start());
  ASSERT_TRUE(PostReceived(zk(), wire::kDisplayFormat, DisplayFormatPayload(1, 64, 64)));
  ASSERT_TRUE(PostReceived(zk(), wire::kDisplayUpdate,
                           DisplayUpdatePayload(1, 0, 0, 64, 64, CorruptStream())));
  ASSERT_TRUE(spy_.PostTick(kUpdateTimer));
  HWND box = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (box = MessageBoxOf(spy_.WorkerThreadId())) != nullptr; },
                        10000));

  HANDLE answered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread host([&] {
    HostEvent event;
    if (zk().GetQueuedEvent(&event) && event.payload) GlobalFree(event.payload);
    PostReceived(zk(), wire::kDisplayFormat, DisplayFormatPayload(1, 32, 32));
    SetEvent(answered);
  });
  EXPECT_EQ(WaitForSingleObject(answered, 5000), WAIT_OBJECT_0)
      << "ZK_GetQueuedEvent or ZK_PostEvent waits for the user to close the box";
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  host.join();
  CloseHandle(answered);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(box); }, 10000));
  DeleteFileA(kLZ77DumpFile);
}
