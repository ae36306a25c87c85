#include "ControlTokens.h"

ControlTokens::Grant ControlTokens::Request(uint32_t viewer) {
  Grant grant = {++lastToken_, holder_ != viewer ? holder_ : 0};
  holder_ = viewer;
  holderToken_ = grant.token;
  asking_.erase(viewer);
  return grant;
}

bool ControlTokens::Ask(uint32_t viewer) { return asking_.insert(viewer).second; }

bool ControlTokens::Allow(uint32_t viewer, Grant* grant) {
  if (asking_.count(viewer) == 0) return false;
  *grant = Request(viewer);
  return true;
}

bool ControlTokens::Release(uint32_t viewer) {
  if (viewer == 0 || viewer != holder_) return false;
  holder_ = 0;
  holderToken_ = 0;
  return true;
}

uint32_t ControlTokens::Revoke() {
  const uint32_t holder = holder_;
  Release(holder);
  return holder;
}

void ControlTokens::Forget(uint32_t viewer) {
  asking_.erase(viewer);
  Release(viewer);
}

uint32_t ControlTokens::HeldToken(uint32_t viewer) const {
  return viewer != 0 && viewer == holder_ ? holderToken_ : 0;
}
