#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "compression/DecodeFailureMessageBox.h"
#include "compression/DecodeFailureReporter.h"

namespace {

// The boxes on screen, so that the end of a session can close them. A box
// registers as it is created; one created after the closing closes itself.
class OpenBoxes {
 public:
  void Add(HWND box) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) {
      PressOk(box);
      return;
    }
    boxes_.push_back(box);
  }
  void Remove(HWND box) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = boxes_.begin(); it != boxes_.end(); ++it)
      if (*it == box) {
        boxes_.erase(it);
        return;
      }
  }
  void CloseAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    for (HWND box : boxes_) PressOk(box);
  }
  void Allow() {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = false;
  }
  bool Closing() {
    std::lock_guard<std::mutex> lock(mutex_);
    return closing_;
  }

 private:
  static void PressOk(HWND box) { PostMessageA(box, WM_COMMAND, IDOK, 0); }

  std::mutex mutex_;
  std::vector<HWND> boxes_;
  bool closing_ = false;
};

OpenBoxes g_openBoxes;

// The box being opened on this thread; boxes opened while it shows (its loop
// runs the session's timers) nest.
thread_local HWND* t_opening = nullptr;

bool IsDialog(HWND window) {
  char name[8] = {};
  return GetClassNameA(window, name, sizeof name) > 0 && std::string(name) == "#32770";
}

LRESULT CALLBACK NoteTheBox(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && t_opening && !*t_opening) {
    HWND window = reinterpret_cast<HWND>(wParam);
    if (IsDialog(window)) {
      *t_opening = window;
      g_openBoxes.Add(window);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void ShowBox(const char* text, const char* caption) {
  HWND box = nullptr;
  HWND* outer = t_opening;
  t_opening = &box;
  HHOOK hook = SetWindowsHookExA(WH_CBT, NoteTheBox, nullptr, GetCurrentThreadId());
  MessageBoxA(nullptr, text, caption, MB_OK);
  if (hook) UnhookWindowsHookEx(hook);
  t_opening = outer;
  if (box) g_openBoxes.Remove(box);
}

void DumpInput(const char* dumpFileName, const uint8_t* input, uint32_t length) {
  // A dump that cannot be written must not keep the user from being told.
  FILE* file = std::fopen(dumpFileName, "wb");
  if (!file) return;
  std::fwrite(input, 1, length, file);
  std::fclose(file);
}

void ReportWithMessageBox(const char* dumpFileName, const uint8_t* input, uint32_t length) {
  DumpInput(dumpFileName, input, length);
  if (g_openBoxes.Closing()) return;
  const std::string caption =
      std::string("Please email file ") + dumpFileName + " to zenkast-support@morvane.com";
  ShowBox("Decompression Error!", caption.c_str());
}

}  // namespace

void InstallMessageBoxDecodeFailureReporter() { SetDecodeFailureReporter(ReportWithMessageBox); }

void CloseDecodeFailureBoxes() { g_openBoxes.CloseAll(); }

void AllowDecodeFailureBoxes() { g_openBoxes.Allow(); }
