#include "HookedDesktop.h"

namespace hooktest {

void HookedDesktop::SetUp() {
  target_ = std::make_unique<RecordingWindow>(log_, RECT{100, 100, 400, 400});
  session_ = std::make_unique<RecordingWindow>(log_, RECT{600, 100, 1000, 400});
  ASSERT_NE(Target(), nullptr);
  ASSERT_NE(Session(), nullptr);
  ASSERT_TRUE(ZKHooks_SetHooks(Session()));
}

void HookedDesktop::TearDown() {
  ZKHooks_UnSetHooks(Session());
  session_.reset();
  target_.reset();
}

const Seen* HookedDesktop::FindReport(HWND window, UINT report, WPARAM wParam) const {
  return log_.Find([&](const Seen& seen) {
    return seen.window == window && seen.message == report && seen.wParam == wParam;
  });
}

bool HookedDesktop::AwaitReport(HWND window, UINT report, WPARAM wParam) {
  return PumpUntil([&] { return FindReport(window, report, wParam) != nullptr; });
}

size_t HookedDesktop::CountReports(HWND window) const {
  return log_.Count([&](const Seen& seen) {
    return seen.window == window && seen.message >= WM_ZKHOOK_DRAWN &&
           seen.message <= WM_ZKHOOK_ACTIVATED;
  });
}

bool HookedDesktop::AwaitMessage(HWND window, UINT message) {
  return PumpUntil([&] { return CountMessages(window, message) > 0; });
}

size_t HookedDesktop::CountMessages(HWND window, UINT message) const {
  return log_.Count([&](const Seen& seen) { return seen.window == window && seen.message == message; });
}

POINT HookedDesktop::SessionOrigin() const {
  POINT origin = {0, 0};
  ClientToScreen(Session(), &origin);
  return origin;
}

}  // namespace hooktest
