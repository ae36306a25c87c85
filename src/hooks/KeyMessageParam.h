#pragma once

// Rebuilds the lParam that a key message carries from what a low-level
// keyboard hook sees, so that the session window can treat a reported key
// like one of its own.

#include <cstdint>

namespace zkhooks {

struct KeyStroke {
  uint32_t scanCode;
  bool extended;    // right-hand Ctrl/Alt, arrows, keypad Enter...
  bool altDown;     // context code: Alt held
  bool release;     // key up
  bool wasDown;     // the key was already down before this stroke
};

// Repeat count 1 in bits 0-15, scan code in 16-23, extended key in 24,
// context code in 29, previous state in 30, transition state in 31.
inline uint32_t KeyMessageParam(const KeyStroke& key) {
  uint32_t param = 1;
  param |= (key.scanCode & 0xFFu) << 16;
  if (key.extended) param |= 1u << 24;
  if (key.altDown) param |= 1u << 29;
  if (key.release || key.wasDown) param |= 1u << 30;
  if (key.release) param |= 1u << 31;
  return param;
}

}  // namespace zkhooks
