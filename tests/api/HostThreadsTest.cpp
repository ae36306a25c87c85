#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

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
  if (event.type == ZKP_FULLUPDATE) {
    FullUpdate update;
    if (!ParseFullUpdate(Bytes(event.payload, event.payload + event.size), &update)) {
      ++ledger.malformedContainers;
      return;
    }
    if (++ledger.answered[update.tag] == 1 && ledger.requested.count(update.tag))
      --ledger.unansweredRequests;
  } else if (event.type == ZKP_CANCELINPUTCONTROL) {
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
  const Bytes key = BytesOf(KeyboardMessage{kStaleInputToken, WM_KEYDOWN, 'A', 0x001E0001});
  const Bytes mouse = BytesOf(MouseMessage{kStaleInputToken, WM_MOUSEMOVE, 0, PackedPoint{4, 4}});
  const Bytes container =
      FullUpdatePayload(0, {{ZKP_KEYBOARDUPDATE, key}, {ZKP_MOUSEUPDATE, mouse}});
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
    bool posted = round % 3 == 0   ? PostReceived(zk, ZKP_FULLUPDATE, container)
                  : round % 3 == 1 ? PostReceived(zk, ZKP_MOUSEUPDATE, mouse)
                                   : PostReceived(zk, ZKP_KEYBOARDUPDATE, key);
    if (round % 5 == 0) PostReceived(zk, ZKP_DISPLAYFORMAT, BytesOf(DisplayFormatMessage{1, 64, 64}));
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

BOOL CALLBACK CountBox(HWND window, LPARAM count) {
  if (IsMessageBox(window)) ++*reinterpret_cast<int*>(count);
  return TRUE;
}

int MessageBoxCount(DWORD threadId) {
  int count = 0;
  EnumThreadWindows(threadId, CountBox, reinterpret_cast<LPARAM>(&count));
  return count;
}

// Plays the user who answers every message box of one thread: a hook on it
// presses OK as soon as a box is set up. Counts the boxes.
class MessageBoxAnswerer {
 public:
  explicit MessageBoxAnswerer(DWORD threadId)
      : hook_(SetWindowsHookExA(WH_CALLWNDPROC, OnCall, nullptr, threadId)) {}
  ~MessageBoxAnswerer() {
    if (hook_) UnhookWindowsHookEx(hook_);
  }
  bool Installed() const { return hook_ != nullptr; }
  static long Answered() { return answered_; }

 private:
  static LRESULT CALLBACK OnCall(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG && IsMessageBox(call->hwnd)) {
      PostMessageA(call->hwnd, WM_COMMAND, IDOK, 0);
      ++answered_;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  HHOOK hook_;
  static inline std::atomic<long> answered_{0};
};

// What a hostile peer sends, one kind per thread.
enum class Hostility { CORRUPT_UPDATES, OVERSIZED_FORMATS, TRUNCATED_CONTAINERS };

Bytes RandomBytes(std::mt19937& rng, size_t count) {
  Bytes bytes(count);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// A container whose one record claims far more bytes than the container holds.
Bytes LyingContainer(std::mt19937& rng) {
  return WireFields()
      .U32(0)
      .U32(8 + 16)
      .U32(ZKP_DISPLAYUPDATE)
      .U32(0x7FFFFFF0u + rng() % 16)
      .Bytes(RandomBytes(rng, 16))
      .Get();
}

Bytes DisplayFormatPayload(uint32_t token, uint16_t width, uint16_t height) {
  return BytesOf(DisplayFormatMessage{token, width, height});
}

Bytes DisplayUpdatePayload(uint32_t token, uint16_t left, uint16_t top, uint16_t width,
                           uint16_t height, const Bytes& stream) {
  return BytesOf(DisplayUpdateMessage{token, left, top, width, height,
                                      static_cast<uint32_t>(stream.size()), stream.data()});
}

void PostHostile(const ZKApi& zk, Hostility kind, std::mt19937& rng) {
  const uint16_t w = static_cast<uint16_t>(4 + rng() % 400), h = static_cast<uint16_t>(1 + rng() % 300);
  switch (kind) {
    case Hostility::CORRUPT_UPDATES: {
      Bytes stream = rng() % 2 ? CorruptStream() : RandomBytes(rng, 1 + rng() % 2000);
      if (rng() % 4 == 0) PostReceived(zk, ZKP_DISPLAYFORMAT, DisplayFormatPayload(1, 320, 240));
      PostReceived(zk, ZKP_DISPLAYUPDATE,
                   DisplayUpdatePayload(1, static_cast<uint16_t>(rng() % 320),
                                        static_cast<uint16_t>(rng() % 240), w, h, stream));
      break;
    }
    case Hostility::OVERSIZED_FORMATS: {
      // Mostly far beyond any screen; now and then an 8K frame, which must work.
      const bool eightK = rng() % 200 == 0;
      PostReceived(zk, ZKP_DISPLAYFORMAT,
                   eightK ? DisplayFormatPayload(1, 7680, 4320)
                          : DisplayFormatPayload(1, static_cast<uint16_t>(8000 + rng() % 57536),
                                                 static_cast<uint16_t>(4000 + rng() % 61536)));
      break;
    }
    case Hostility::TRUNCATED_CONTAINERS: {
      const Bytes inner = FullUpdatePayload(
          0, {{ZKP_DISPLAYFORMAT, DisplayFormatPayload(1, w, h)},
              {ZKP_DISPLAYUPDATE, DisplayUpdatePayload(1, 0, 0, w, h, RandomBytes(rng, 64))}});
      const Bytes nested = FullUpdatePayload(7, {{ZKP_FULLUPDATE, inner}});
      if (rng() % 3 == 0)
        PostReceived(zk, ZKP_FULLUPDATE, LyingContainer(rng));
      else
        PostReceived(zk, ZKP_FULLUPDATE, nested, 1 + rng() % (nested.size() - 1));
      break;
    }
  }
}

// Calls one of the setters a host may call from any thread, zero included.
// Each call restarts its timer, so the update interval is changed only now
// and then, to short periods: otherwise no update tick would ever come.
void CallASetter(const ZKApi& zk, std::mt19937& rng) {
  switch (rng() % 8) {
    case 0:
      zk.SetUpdateFrequency(rng() % 2 ? 0 : 5 + rng() % 40);
      break;
    case 1:
      zk.SetInputUpdateFrequency(rng() % 300);
      break;
    case 2:
    case 3:
      zk.SetPollFrequency(rng() % 300, rng() % 2, rng() % 20);
      break;
    default:
      zk.SetPosition(rng() % 900, rng() % 700, 16 + rng() % 500, 16 + rng() % 400, rng() % 4 != 0);
      break;
  }
}

// A thread as a host makes one, with CreateThread: the C++ runtime keeps
// handles of its own threads for reuse, which would blur the handle count.
class HostThread {
 public:
  explicit HostThread(std::function<void()> body)
      : body_(std::move(body)), handle_(CreateThread(nullptr, 0, Run, this, 0, nullptr)) {}
  ~HostThread() {
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
  }
  HostThread(const HostThread&) = delete;
  HostThread& operator=(const HostThread&) = delete;

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<HostThread*>(self)->body_();
    return 0;
  }
  std::function<void()> body_;
  HANDLE handle_;
};

uint32_t SoakSeconds() {
  const char* text = std::getenv("ZK_SOAK_SECONDS");
  const int seconds = text ? std::atoi(text) : 0;
  return seconds > 0 ? static_cast<uint32_t>(seconds) : 60;
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
    ASSERT_TRUE(PostReceived(zk(), ZKP_KEYBOARDUPDATE,
                             BytesOf(KeyboardMessage{kStaleInputToken, WM_KEYDOWN, 'A', 0x001E0001})));
    ASSERT_TRUE(DispatchNow());
    EventList events;
    ASSERT_TRUE(CollectUntil(zk(), &events, [](const EventList& e) {
      return !OfType(e, ZKP_CANCELINPUTCONTROL).empty();
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
              static_cast<unsigned>(ledger.eventsByType[ZKP_DISPLAYUPDATE]),
              static_cast<unsigned>(ledger.eventsByType[ZKP_FULLUPDATE]));
}

// Starts a viewer session and has its worker tell of a corrupt stream: the
// box it shows, waiting for the user.
HWND OpenDecodeFailureBox(const ZKApi& zk, SessionSpy& spy) {
  if (!PostReceived(zk, ZKP_DISPLAYFORMAT, DisplayFormatPayload(1, 64, 64)) ||
      !PostReceived(zk, ZKP_DISPLAYUPDATE, DisplayUpdatePayload(1, 0, 0, 64, 64, CorruptStream())) ||
      !spy.PostTick(kUpdateTimer))
    return nullptr;
  HWND box = nullptr;
  PumpUntil([&] { return (box = MessageBoxOf(spy.WorkerThreadId())) != nullptr; }, 10000);
  return box;
}

// The worker tells the user of a corrupt stream in a message box; nothing
// that host threads wait for may be held while the box waits for the user.
TEST_F(HostThreads, ACorruptStreamsMessageBoxBlocksNoHostThread) {
  ASSERT_TRUE(Start());
  HWND box = OpenDecodeFailureBox(zk(), spy_);
  ASSERT_NE(box, nullptr);

  HANDLE answered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread host([&] {
    HostEvent event;
    if (zk().GetQueuedEvent(&event) && event.payload) GlobalFree(event.payload);
    PostReceived(zk(), ZKP_DISPLAYFORMAT, DisplayFormatPayload(1, 32, 32));
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

// A host may end the session while such a box still waits for the user:
// the box goes with the session, and the worker ends as it always does
// rather than being cut off when the wait for it runs out.
TEST_F(HostThreads, ReleaseClosesABoxThatWaitsForTheUser) {
  // A first session leaves behind what the system keeps once it has served it.
  ASSERT_TRUE(Start());
  ASSERT_NE(OpenDecodeFailureBox(zk(), spy_), nullptr);
  ASSERT_EQ(zk().Release(), 1);
  const ProcessCensus before = TakeProcessCensus();

  ASSERT_TRUE(Start());
  HWND box = OpenDecodeFailureBox(zk(), spy_);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(zk().Release(), 1);
  EXPECT_FALSE(IsWindow(box));
  const ProcessCensus after = TakeProcessCensus();
  EXPECT_EQ(after.threads, before.threads);
  EXPECT_EQ(after.handles, before.handles) << "the worker was cut off, not ended";
  EXPECT_EQ(after.windows, before.windows);
  DeleteFileA(kLZ77DumpFile);
}

// With DispatchOnPost every event a host hands in asks the worker for a
// pass; a box's own message loop takes those asks while it waits. A peer
// that keeps sending corrupt streams must not stack one box (and one pass)
// inside another until the worker's stack runs out.
TEST_F(HostThreads, CorruptStreamsHandedInWhileABoxWaitsOpenNoSecondBox) {
  ASSERT_TRUE(Start("[ZK]\nDispatchOnPost=1\n"));
  ASSERT_TRUE(PostReceived(zk(), ZKP_DISPLAYFORMAT, DisplayFormatPayload(1, 64, 64)));
  ASSERT_TRUE(PostReceived(zk(), ZKP_DISPLAYUPDATE,
                           DisplayUpdatePayload(1, 0, 0, 64, 64, CorruptStream())));
  ASSERT_TRUE(PumpUntil([&] { return MessageBoxOf(spy_.WorkerThreadId()) != nullptr; }, 10000));

  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(PostReceived(zk(), ZKP_DISPLAYUPDATE,
                             DisplayUpdatePayload(1, 0, 0, 64, 64, CorruptStream())));
  // The asks were posted before this tick, which the box's loop runs after them.
  ASSERT_TRUE(DispatchNow());
  EXPECT_EQ(MessageBoxCount(spy_.WorkerThreadId()), 1);
  EXPECT_EQ(zk().Release(), 1);  // closes the box
  DeleteFileA(kLZ77DumpFile);
}

// Eight host threads drain, post and call the setters while a hostile peer
// sends corrupt streams, oversized formats and broken containers; then
// ZK_Release. ZK_SOAK_SECONDS sets the length (60 s by default).
class HostileSoak : public HostThreads {
 protected:
  // Runs one session under the load for `seconds`; returns the most private
  // memory committed meanwhile.
  uint64_t Soak(uint32_t seconds) {
    if (!Start()) return 0;
    MessageBoxAnswerer user(spy_.WorkerThreadId());
    EXPECT_TRUE(user.Installed());
    spy_.Detach();  // its records would only grow
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    auto running = [stop] { return WaitForSingleObject(stop, 0) == WAIT_TIMEOUT; };
    // Paced like peers on a network: a message, then a millisecond for the stop.
    auto paced = [stop] { return WaitForSingleObject(stop, 1) == WAIT_TIMEOUT; };
    std::vector<std::unique_ptr<HostThread>> hosts;
    for (int i = 0; i < 2; ++i)
      hosts.push_back(std::make_unique<HostThread>([&] {
        while (running()) {
          zk().WaitForEvents(20);
          TakeQueuedEvents(zk());
        }
      }));
    for (Hostility kind : {Hostility::CORRUPT_UPDATES, Hostility::OVERSIZED_FORMATS,
                           Hostility::TRUNCATED_CONTAINERS})
      hosts.push_back(std::make_unique<HostThread>([&, kind] {
        std::mt19937 rng(static_cast<unsigned>(kind) + 1);
        while (paced()) PostHostile(zk(), kind, rng);
      }));
    for (unsigned seed : {11u, 12u, 13u})
      hosts.push_back(std::make_unique<HostThread>([&, seed] {
        std::mt19937 rng(seed);
        while (paced()) {
          CallASetter(zk(), rng);
          TakeQueuedEvents(zk());
        }
      }));

    uint64_t peak = 0;
    for (const DWORD end = GetTickCount() + seconds * 1000;
         static_cast<int32_t>(end - GetTickCount()) > 0; WaitForSingleObject(stop, 100))
      peak = std::max(peak, CommittedPrivateBytes());
    SetEvent(stop);
    hosts.clear();  // joins them
    CloseHandle(stop);
    EXPECT_EQ(zk().Release(), 1);
    TakeQueuedEvents(zk());
    return peak;
  }
};

TEST_F(HostileSoak, EightHostThreadsUnderAHostilePeerReleaseCleanlyInBoundedMemory) {
  // A first, short round leaves behind what the system and the thread
  // library keep once they have served it.
  Soak(1);
  const ProcessCensus before = TakeProcessCensus();
  const uint64_t baseline = CommittedPrivateBytes();

  const uint64_t peak = Soak(SoakSeconds());
  const ProcessCensus after = TakeProcessCensus();
  EXPECT_EQ(after.threads, before.threads);
  EXPECT_EQ(after.handles, before.handles);
  EXPECT_EQ(after.windows, before.windows);
  EXPECT_EQ(FindSessionWindow(), nullptr);
  EXPECT_GT(MessageBoxAnswerer::Answered(), 0) << "no corrupt stream reached a decoder";
  constexpr uint64_t kMiB = 1 << 20;
  // The session's pictures are bounded together at 512 MB; the rest is queues.
  EXPECT_LT(peak - baseline, 640 * kMiB);
  std::printf("soak %u s: peak %u MiB committed, %u MiB above no session; %ld boxes answered\n",
              static_cast<unsigned>(SoakSeconds()), static_cast<unsigned>(peak / kMiB),
              static_cast<unsigned>((peak - baseline) / kMiB), MessageBoxAnswerer::Answered());
  DeleteFileA(kLZ77DumpFile);
  DeleteFileA("C:\\RLDecode565.bin");
  DeleteFileA("C:\\RLDecode332.bin");
}
