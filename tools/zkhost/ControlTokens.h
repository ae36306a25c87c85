#pragma once

#include <cstdint>

// The presenter's token service. Each request for input control is granted
// a token higher than any granted before, and the newest grant holds control
// (the libraries compare tokens: the highest wins) until it is given back or
// its viewer leaves; a viewer it took control from has lost it for good and
// must ask again. Viewers are named by their link ids (never 0).
//
// Portable, no lock: the presenter's host serialises the calls.
class ControlTokens {
 public:
  struct Grant {
    uint32_t token;
    uint32_t preempted;  // the viewer that held control until now, or 0
  };
  Grant Request(uint32_t viewer);
  // True when the viewer held control; nobody holds it afterwards.
  bool Release(uint32_t viewer);
  // The token the viewer holds control with, or 0 when it does not hold it.
  uint32_t HeldToken(uint32_t viewer) const;
  uint32_t Holder() const { return holder_; }

 private:
  uint32_t lastToken_ = 0;
  uint32_t holder_ = 0;
  uint32_t holderToken_ = 0;
};
