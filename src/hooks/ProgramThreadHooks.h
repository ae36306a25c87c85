#pragma once

// The in-context hooks on a 64-bit desktop. This Wine calls a global hook in
// every program, and in a 64-bit one it tries to load this 32-bit library on
// every hooked call, fails and skips it: every message of every 64-bit
// program gets slower for nothing. So only the window-change hook (called on
// window changes, seldom) stays global; the hooks called on every message
// (drawing, hiding) go thread by thread onto the threads of 32-bit programs
// that own top-level windows: those there at the start, and every thread
// that creates or activates a top-level window later, which the global hook
// asks for, in the thread itself and before its window takes a message (a
// 64-bit program never runs it, so never asks). Threads whose windows are all
// gone are let go now and then.
// Owner and thread: the hook thread, which pumps messages for the asking and
// the timer. AskToBeWatched runs in any thread of any 32-bit program.

#include <windows.h>

#include <map>

#include "hooks/HookPair.h"

namespace zkhooks {

// True when this process runs under WoW64, where the hooks are set this way.
bool OnWideDesktop();

// From the global hook, in the thread about to own a top-level window: gets
// the thread its per-message hooks unless it has them. Returns at once when
// nobody sets them.
void AskToBeWatched();

class ProgramThreadHooks {
 public:
  // Sets the global hook, hooks the threads found now and answers the asking;
  // false, with nothing left set, when any of it fails.
  bool Start(HINSTANCE module);
  // Removes every hook it set and stops answering. Harmless when not started.
  void Stop();

 private:
  static LRESULT CALLBACK WatcherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static void CALLBACK OnPruneTimer(HWND window, UINT message, UINT_PTR id, DWORD ticks);
  static BOOL CALLBACK WatchTopLevel(HWND window, LPARAM self);
  bool CreateWatcher();
  void Watch(DWORD thread, DWORD processId);
  void Prune();

  HINSTANCE module_ = nullptr;
  HWND watcher_ = nullptr;  // message-only; takes the asking
  UINT_PTR timer_ = 0;
  HookPair changes_;                     // global
  std::map<DWORD, HookPair> hooked_;  // the drawing hooks, by thread id
};

}  // namespace zkhooks
