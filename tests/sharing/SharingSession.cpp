#include "SharingSession.h"

#include "InjectedInput.h"
#include "events/SharingMessages.h"
#include "session/ProcessCensus.h"

namespace {
constexpr uint32_t kCaptureToken = 7;
}  // namespace

std::ostream& operator<<(std::ostream& os, const SharedReport& r) {
  return os << "{" << r.code << ", " << r.window << " \"" << r.title << "\"}";
}

::testing::AssertionResult SharingSession::StartPresenter(const char* config, HWND parent) {
  ::testing::AssertionResult started = Start(config, parent);
  if (!started) return started;
  ::testing::AssertionResult shown = ShowAt(kFrameX, kFrameY, kFrameWidth, kFrameHeight);
  if (!shown) return shown;
  if (!zk().EnableCapture(1, kCaptureToken) || !spy_.Fence())
    return ::testing::AssertionFailure() << "capture was not enabled";
  TakeQueuedEvents(zk());
  return ::testing::AssertionSuccess();
}

std::vector<SharedReport> SharingSession::TakeReports(size_t count) {
  PumpUntil(
      [&] {
        for (const ReceivedEvent& e : OfType(TakeQueuedEvents(zk()), ZKP_SHAREDWINDOW)) {
          SharedWindowMessage report;
          if (!ParseBytes(e.payload, &report)) continue;
          HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(report.window));
          pending_.push_back(SharedReport{report.code, window, report.title});
        }
        return pending_.size() >= count;
      },
      15000);
  std::vector<SharedReport> taken;
  taken.swap(pending_);
  return taken;
}

bool SharingSession::IsCapturing() const {
  // In capture the session window is a see-through frame: it has a region.
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  int type = GetWindowRgn(window_, region);
  DeleteObject(region);
  return type != ERROR;
}

bool SharingSession::AwaitNotCapturing() {
  return PumpWhile([&] { return IsCapturing(); });
}

bool SharingSession::AwaitCapturing() {
  return PumpWhile([&] { return !IsCapturing(); });
}

RECT SharingSession::Placement() const {
  RECT client;
  GetClientRect(window_, &client);
  MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&client), 2);
  return client;
}

bool SharingSession::AwaitPlaced(HWND window, const RECT& where) {
  return PumpWhile([&] {
    RECT r = WindowRect(window);
    return IsIconic(window) || !EqualRect(&r, &where);
  });
}

bool SharingSession::AwaitInPlaceBelowSession(HWND window) {
  return PumpWhile([&] {
    RECT r = WindowRect(window);
    RECT placement = Placement();
    return IsIconic(window) || !EqualRect(&r, &placement) || NextVisibleBelow(window_) != window;
  });
}

void SharingSession::Click(POINT screenPoint) {
  hooktest::InjectAbsoluteMove(screenPoint);
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

bool SharingSession::PumpWhile(const std::function<bool()>& notYet, DWORD timeoutMs) {
  return PumpUntil([&] { return !notYet(); }, timeoutMs);
}

HWND NextVisibleBelow(HWND window) {
  for (HWND next = GetWindow(window, GW_HWNDNEXT); next; next = GetWindow(next, GW_HWNDNEXT)) {
    if (IsWindowVisible(next)) return next;
  }
  return nullptr;
}

HWND LowestVisibleWindow() {
  HWND top = GetWindow(GetDesktopWindow(), GW_CHILD);
  for (HWND w = top ? GetWindow(top, GW_HWNDLAST) : nullptr; w; w = GetWindow(w, GW_HWNDPREV)) {
    if (IsWindowVisible(w)) return w;
  }
  return nullptr;
}

RECT WindowRect(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  return r;
}
