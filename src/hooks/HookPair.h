#pragma once

// Two hooks that only make sense together, installed both or neither; or
// one alone, when the second is left empty.
// Owned by the hook thread that installed them, which alone removes them.
// The hook procedures never need the handles: CallNextHookEx ignores its
// first argument.

#include <windows.h>

namespace zkhooks {

struct HookSpec {
  int id;
  HOOKPROC procedure;  // null: no hook
};

class HookPair {
 public:
  // False, with neither left installed, when either cannot be set. Thread 0
  // sets them on every thread of the desktop; another, on that thread alone
  // (of any process).
  bool Install(HINSTANCE module, HookSpec first, HookSpec second, DWORD thread = 0);
  void Remove();

 private:
  HHOOK hooks_[2] = {};
};

}  // namespace zkhooks
