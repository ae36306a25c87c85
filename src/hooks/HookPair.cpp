#include "hooks/HookPair.h"

namespace zkhooks {

bool HookPair::Install(HINSTANCE module, HookSpec first, HookSpec second, DWORD thread) {
  hooks_[0] = SetWindowsHookExW(first.id, first.procedure, module, thread);
  if (second.procedure) hooks_[1] = SetWindowsHookExW(second.id, second.procedure, module, thread);
  if (hooks_[0] && (hooks_[1] || !second.procedure)) return true;
  Remove();
  return false;
}

void HookPair::Remove() {
  for (HHOOK& hook : hooks_) {
    if (hook) UnhookWindowsHookEx(hook);
    hook = nullptr;
  }
}

}  // namespace zkhooks
