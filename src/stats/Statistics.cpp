#include "stats/Statistics.h"

#include "common/Clock.h"
#include "resources/resource.h"
#include "stats/StatStore.h"

namespace {
constexpr int kLineHeight = 16;
constexpr int kSectionGap = 8;
constexpr uint32_t kRefreshMs = 1000;
constexpr uint32_t kTenSeconds = 10000;
constexpr uint32_t kOneSecond = 1000;

// When the periodic refresh last drew; it moves in whole seconds so that a
// mark fallen behind catches up over the following ticks.
bool g_refreshMarked = false;
DWORD g_refreshMark = 0;
}  // namespace

Statistics::Statistics() { StatReset(TickCountMs()); }

bool Statistics::Create(HINSTANCE instance, HWND owner) {
  instance_ = instance;
  owner_ = owner;
  dialog_ = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_STATISTICS), owner, DialogProc,
                               reinterpret_cast<LPARAM>(this));
  if (dialog_) {
    ShowWindow(dialog_, SW_SHOW);
    UpdateWindow(dialog_);
  }
  return true;
}

INT_PTR CALLBACK Statistics::DialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
    return 0;
  }
  auto* self = reinterpret_cast<Statistics*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
  if (!self) return 0;
  if (message == WM_DESTROY) self->dialog_ = nullptr;
  if (message == WM_PAINT) self->Redraw();
  return 0;
}

void Statistics::RefreshPeriodically() {
  DWORD now = GetTickCount();
  if (!g_refreshMarked) {
    g_refreshMark = now;
    g_refreshMarked = true;
  }
  if (now - g_refreshMark > kRefreshMs) {
    Redraw();
    g_refreshMark += kRefreshMs;
  }
}

void Statistics::Redraw() {
  if (!dialog_) return;
  HWND text = GetDlgItem(dialog_, IDC_STATISTICS_TEXT);
  if (!text) return;
  uint32_t now = TickCountMs();
  HDC dc = GetDC(text);
  RECT client;
  GetClientRect(text, &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));

  StatRecord sum;
  int y = DrawSection(dc, 0, now, "Totals", StatTotals());
  StatSumWindow(kTenSeconds, now, sum);
  y = DrawSection(dc, y + kSectionGap, now, "Running Totals(10 sec)", sum);
  StatSumWindow(kOneSecond, now, sum);
  DrawSection(dc, y + kSectionGap, now, "Running Totals(1 sec)", sum);
  ReleaseDC(text, dc);
}

int Statistics::DrawSection(HDC dc, int y, uint32_t now, const char* title,
                            const StatRecord& record) {
  char lines[kStatSectionLines][kStatLineSize];
  FormatStatSection(title, record, now, lines);
  for (int i = 0; i < kStatSectionLines; ++i)
    TextOutA(dc, 0, y + i * kLineHeight, lines[i], lstrlenA(lines[i]));
  return y + kStatSectionLines * kLineHeight;
}
