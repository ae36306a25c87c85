#pragma once

// Two hooks that only make sense together, installed both or neither.
// Owned by the hook thread that installed them, which alone removes them.
// The hook procedures never need the handles: CallNextHookEx ignores its
// first argument.

#include <windows.h>

namespace zkhooks {

struct HookSpec {
  int id;
  HOOKPROC procedure;
};

class HookPair {
 public:
  // False, with neither left installed, when either cannot be set.
  bool Install(HINSTANCE module, HookSpec first, HookSpec second);
  void Remove();

 private:
  HHOOK hooks_[2] = {};
};

}  // namespace zkhooks
