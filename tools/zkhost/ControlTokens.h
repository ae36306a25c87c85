#pragma once

#include <cstdint>
#include <set>

// The presenter's token service. Each grant of input control comes with a
// token higher than any granted before, and the newest grant holds control
// (the libraries compare tokens: the highest wins) until it is given back,
// revoked, or its viewer leaves; a viewer it took control from has lost it
// for good and must ask again. A request is granted at once, or, with the
// presenter's consent asked first, waits (one per viewer) until the
// presenter allows or denies it. Viewers are named by their link ids
// (never 0).
//
// Portable, no lock: the presenter's host serialises the calls.
class ControlTokens {
 public:
  struct Grant {
    uint32_t token;
    uint32_t preempted;  // the viewer that held control until now, or 0
  };
  Grant Request(uint32_t viewer);
  // Records a request that waits for the presenter; false when this viewer's
  // request waits already.
  bool Ask(uint32_t viewer);
  const std::set<uint32_t>& Asking() const { return asking_; }
  // Grants a waiting request; false when the viewer does not ask.
  bool Allow(uint32_t viewer, Grant* grant);
  // Drops a waiting request; false when the viewer does not ask.
  bool Deny(uint32_t viewer) { return asking_.erase(viewer) > 0; }
  // True when the viewer held control; nobody holds it afterwards.
  bool Release(uint32_t viewer);
  // Takes control from whoever holds it: that viewer, or 0.
  uint32_t Revoke();
  // The viewer left: its request and its control go with it.
  void Forget(uint32_t viewer);
  // The token the viewer holds control with, or 0 when it does not hold it.
  uint32_t HeldToken(uint32_t viewer) const;
  uint32_t Holder() const { return holder_; }

 private:
  uint32_t lastToken_ = 0;
  uint32_t holder_ = 0;
  uint32_t holderToken_ = 0;
  std::set<uint32_t> asking_;
};
