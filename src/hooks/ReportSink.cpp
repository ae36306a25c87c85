#include "hooks/ReportSink.h"

#include "hooks/DrawnAreas.h"

namespace zkhooks {
namespace {

// Shared by every process that maps this DLL. A HWND fits in a LONG on Win32,
// which keeps every access a plain interlocked operation.
struct SharedReportState {
  volatile LONG target;
  volatile LONG inFlight;
};
__attribute__((section(".shared"), shared)) SharedReportState g_shared = {0, 0};

// A process that dies inside a hook procedure leaves inFlight raised for
// good; closing must not hang on it forever.
constexpr DWORD kQuiesceLimitMs = 1000;

}  // namespace

void SetReportTarget(HWND session) {
  InterlockedExchange(&g_shared.target, static_cast<LONG>(reinterpret_cast<LONG_PTR>(session)));
}

HWND ReportTarget() {
  return reinterpret_cast<HWND>(
      static_cast<LONG_PTR>(InterlockedCompareExchange(&g_shared.target, 0, 0)));
}

void CloseReports(HWND session) {
  LONG mine = static_cast<LONG>(reinterpret_cast<LONG_PTR>(session));
  // Only the session that set the target clears it: the DLL is mapped by
  // every session on the desktop, viewers included, and a viewer tearing
  // down must not silence the presenter.
  if (!session || InterlockedCompareExchange(&g_shared.target, 0, mine) != mine) return;
  // Interlocked operations are full barriers on both sides: a procedure that
  // entered after this read of inFlight reads the target after it was cleared.
  DWORD start = GetTickCount();
  while (InterlockedCompareExchange(&g_shared.inFlight, 0, 0) != 0 &&
         GetTickCount() - start < kQuiesceLimitMs) {
    SwitchToThread();
  }
  ForgetDrawnAreas();
}

PendingReport::PendingReport() {
  InterlockedIncrement(&g_shared.inFlight);
  target_ = ReportTarget();
}

PendingReport::~PendingReport() { InterlockedDecrement(&g_shared.inFlight); }

bool PendingReport::Post(UINT report, WPARAM wParam, LPARAM lParam) const {
  return target_ && PostMessageW(target_, report, wParam, lParam);
}

}  // namespace zkhooks
