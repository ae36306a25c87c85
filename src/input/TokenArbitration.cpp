#include "common/Trace.h"
#include "events/ProtocolMessages.h"
#include "session/ZKWindow.h"

// Control tokens come from the host's token service: the highest one seen
// wins, compared unsigned.

bool ZKWindow::CheckCaptureToken(uint32_t token) {
  uint32_t current = GetToken();
  if (token < current) {
    Trace(TRACE_WARNING, "\r\nToken Hack: Ignoring Capture Event - Invalid Token: %08x", token);
    return false;
  }
  if (token > current) {
    if (roleFlags_ & ROLE_CAPTURE) {
      Trace(TRACE_WARNING, "\r\nToken Hack: Relinquishing Capture Control to Token: %08x", token);
      EnableCapture(false, token);
    }
    SetToken(token);
    return true;
  }
  if (roleFlags_ & ROLE_CAPTURE) {
    Trace(TRACE_WARNING,
          "\r\nToken Hack: Two users with same Token - Relinquishing Capture Control to Token: %08x",
          token);
    Trace(TRACE_WARNING, "\r\nToken Hack: Could cause Display Update inconsistencies!");
    Trace(TRACE_WARNING, "\r\nToken Hack: Should never happen with token service");
    EnableCapture(false, token);
  }
  return true;
}

bool ZKWindow::CheckInputToken(uint32_t token, bool fromPosition) {
  if (token < inputControlToken_) {
    Trace(TRACE_WARNING, "\r\nToken Hack: Ignoring Input Event - Invalid Token: %08x", token);
    if (roleFlags_ & ROLE_CAPTURE) SendCancelInputControl();
    return false;
  }
  if (token > inputControlToken_) {
    if (roleFlags_ & ROLE_INPUT_CONTROL) {
      Trace(TRACE_WARNING, "\r\nToken Hack: Relinquishing Input Control to Token: %08x", token);
      roleFlags_ &= ~ROLE_INPUT_CONTROL;
    }
    inputControlToken_ = token;
    return true;
  }
  if ((roleFlags_ & ROLE_INPUT_CONTROL) && !fromPosition) {
    Trace(TRACE_WARNING,
          "\r\nToken Hack: Two users with same Token - Relinquishing Input Control to Token: %08x",
          token);
    Trace(TRACE_WARNING, "\r\nToken Hack: Should never happen with token service");
    roleFlags_ &= ~ROLE_INPUT_CONTROL;
  }
  return true;
}

bool ZKWindow::SendCancelInputControl() {
  return QueueMessage(ZKP_CANCELINPUTCONTROL, CancelInputControlMessage{});
}
