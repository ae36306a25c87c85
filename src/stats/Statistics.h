#pragma once

#include <windows.h>

#include <cstdint>

struct StatRecord;

// Statistics is the "ZK Statistics" window: the totals and the running
// totals of the last 10 seconds and the last second, drawn from the
// statistics store. Constructed with the session object (the totals count
// from then on); its dialog lives from Create until the owner, the session
// window, is destroyed. Worker thread only.
class Statistics {
 public:
  Statistics();
  Statistics(const Statistics&) = delete;
  Statistics& operator=(const Statistics&) = delete;

  bool Create(HINSTANCE instance, HWND owner);
  // Draws the figures into the dialog; nothing without a dialog.
  void Redraw();
  // Redraws about once a second; called after every timer tick of the owner.
  void RefreshPeriodically();
  HWND GetDialog() const { return dialog_; }

  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  int DrawSection(HDC dc, int y, uint32_t now, const char* title, const StatRecord& record);

  HWND dialog_ = nullptr;
  HWND owner_ = nullptr;
  HINSTANCE instance_ = nullptr;
};
