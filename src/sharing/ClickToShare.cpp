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

void ZKWindow::ForgetEndedSharedWindows() {
  // A program that ends can take its windows with it before any hook of
  // ours sees them go; capture must not stay on a handle that is gone.
  if (ForgetEndedWindows()) SetDisplayMode();
}
