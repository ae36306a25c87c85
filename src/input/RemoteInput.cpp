#include "session/ZKWindow.h"

void ZKWindow::EnableInputControl(bool on, uint32_t token) {
  if (on) {
    inputControlToken_ = token;
    roleFlags_ |= ROLE_INPUT_CONTROL;
  } else {
    roleFlags_ &= ~ROLE_INPUT_CONTROL;  // the token stays: it still ranks later ones
  }
}

void ZKWindow::OnMouseInput(UINT, WPARAM, LPARAM) {}
void ZKWindow::OnKeyInput(UINT, WPARAM, LPARAM) {}
void ZKWindow::OnMouseUpdate(const uint8_t*, uint32_t) {}
void ZKWindow::OnMousePosition(const uint8_t*, uint32_t) {}
void ZKWindow::OnKeyboardUpdate(const uint8_t*, uint32_t) {}
