#include "hooks/ZKHooks.h"
#include "session/ZKWindow.h"

void ZKWindow::ClickToShare(HWND window, uint32_t reason) {
  if (!(roleFlags_ & ROLE_CAPTURE)) return;
  if ((roleFlags_ & ROLE_ANNOTATION) && displayMode_ == ZKM_ANNOTATION) AnnotationMode(0, false);
  if (!window) {
    ZKHooks_ClickToShare();  // the picked window comes back as a hook report
    return;
  }
  UpdateWindow(window, reason, true);
  SetDisplayMode();
  SetPalettePending(true);
}
