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

// Not std::clamp: a dialog taller or wider than the work area makes high < low.
LONG Clamp(LONG value, LONG low, LONG high) { return value < low ? low : value > high ? high : value; }

// Where a window of `size` can stand beside `area` within `work`: right of
// it, else left, else below, else above; false when no side has room.
bool PlaceBeside(const RECT& area, SIZE size, const RECT& work, POINT* at) {
  const LONG top = Clamp(area.top, work.top, work.bottom - size.cy);
  const LONG left = Clamp(area.left, work.left, work.right - size.cx);
  const POINT sides[] = {{area.right, top},
                         {area.left - size.cx, top},
                         {left, area.bottom},
                         {left, area.top - size.cy}};
  for (const POINT& side : sides) {
    if (side.x >= work.left && side.y >= work.top && side.x + size.cx <= work.right &&
        side.y + size.cy <= work.bottom) {
      *at = side;
      return true;
    }
  }
  return false;
}
}  // namespace

Statistics::Statistics() { StatReset(TickCountMs()); }

bool Statistics::Create(HINSTANCE instance, HWND owner) {
  instance_ = instance;
  owner_ = owner;
  dialog_ = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_STATISTICS), owner, DialogProc,
                               reinterpret_cast<LPARAM>(this));
  if (dialog_) {
    KeepClearOfOwner();
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
  if (message == WM_DRAWITEM) {
    // The control repaints what was last taken: taking figures here would
    // change its text, which would ask for another paint.
    auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item->CtlID != IDC_STATISTICS_TEXT) return 0;
    self->DrawFigures(item->hDC, item->rcItem);
    return 1;
  }
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

void Statistics::KeepClearOfOwner() {
  RECT dialog, owner, overlap;
  if (!dialog_ || !IsWindowVisible(owner_) || !GetWindowRect(dialog_, &dialog) ||
      !GetWindowRect(owner_, &owner) || !IntersectRect(&overlap, &dialog, &owner))
    return;
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoA(MonitorFromWindow(owner_, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  const SIZE size = {dialog.right - dialog.left, dialog.bottom - dialog.top};
  POINT at;
  if (PlaceBeside(owner, size, monitor.rcWork, &at)) {
    SetWindowPos(dialog_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void Statistics::Redraw() {
  if (!dialog_) return;
  HWND control = GetDlgItem(dialog_, IDC_STATISTICS_TEXT);
  if (!control) return;
  FormatFigures(TickCountMs());
  std::string text;
  for (const std::string& line : lines_) text += (text.empty() ? "" : "\r\n") + line;
  SetWindowTextA(control, text.c_str());
  HDC dc = GetDC(control);
  RECT client;
  GetClientRect(control, &client);
  DrawFigures(dc, client);
  ReleaseDC(control, dc);
}

void Statistics::FormatFigures(uint32_t now) {
  lines_.clear();
  StatRecord sum;
  AddSection(now, "Totals", StatTotals());
  StatSumWindow(kTenSeconds, now, sum);
  AddSection(now, "Running Totals(10 sec)", sum);
  StatSumWindow(kOneSecond, now, sum);
  AddSection(now, "Running Totals(1 sec)", sum);
}

void Statistics::AddSection(uint32_t now, const char* title, const StatRecord& record) {
  char lines[kStatSectionLines][kStatLineSize];
  FormatStatSection(title, record, now, lines);
  lines_.insert(lines_.end(), lines, lines + kStatSectionLines);
}

void Statistics::DrawFigures(HDC dc, const RECT& control) const {
  FillRect(dc, &control, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  // Seven lines a section, 16 pixels apart, sections 8 pixels apart.
  for (size_t i = 0; i < lines_.size(); ++i) {
    const int section = static_cast<int>(i) / kStatSectionLines;
    const int y = static_cast<int>(i) * kLineHeight + section * kSectionGap;
    TextOutA(dc, 0, y, lines_[i].c_str(), static_cast<int>(lines_[i].size()));
  }
}
