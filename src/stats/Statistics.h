#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct StatRecord;

// Statistics is the "ZK Statistics" window: the totals and the running
// totals of the last 10 seconds and the last second, drawn from the
// statistics store. Its one control is owner-drawn: the figures are drawn
// into it, and they are its text too (one line each), so that it reads
// like any control. Constructed with the session object (the totals count
// from then on); its dialog lives from Create until the owner, the session
// window, is destroyed. Worker thread only.
class Statistics {
 public:
  Statistics();
  Statistics(const Statistics&) = delete;
  Statistics& operator=(const Statistics&) = delete;

  bool Create(HINSTANCE instance, HWND owner);
  // Takes the figures anew and draws them into the dialog; nothing without
  // a dialog.
  void Redraw();
  // Redraws about once a second; called after every timer tick of the owner.
  void RefreshPeriodically();
  // Moves the dialog beside its owner when the two overlap: over the
  // presenter's frame it would hide the shared area and be captured with it.
  // Called when the owner moves or changes size; a place the user chose
  // beside the frame is kept.
  void KeepClearOfOwner();
  HWND GetDialog() const { return dialog_; }

  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void FormatFigures(uint32_t now);
  void AddSection(uint32_t now, const char* title, const StatRecord& record);
  // The figures last taken, over a white control.
  void DrawFigures(HDC dc, const RECT& control) const;

  HWND dialog_ = nullptr;
  HWND owner_ = nullptr;
  HINSTANCE instance_ = nullptr;
  std::vector<std::string> lines_;
};
