#include "ControlTokens.h"

ControlTokens::Grant ControlTokens::Request(uint32_t viewer) {
  Grant grant = {++lastToken_, holder_ != viewer ? holder_ : 0};
  holder_ = viewer;
  holderToken_ = grant.token;
  return grant;
}

bool ControlTokens::Release(uint32_t viewer) {
  if (viewer == 0 || viewer != holder_) return false;
  holder_ = 0;
  holderToken_ = 0;
  return true;
}

uint32_t ControlTokens::HeldToken(uint32_t viewer) const {
  return viewer != 0 && viewer == holder_ ? holderToken_ : 0;
}
