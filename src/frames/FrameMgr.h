#pragma once

#include <windows.h>

#include <cstdint>

#include "compression/CompressionMgr.h"

class EventMgr;

// FrameMgr keeps the pictures of a session: on the presenter the reference
// frame (what the viewers have been sent) and the screen grabs, on a viewer
// the picture being displayed. It owns the screen and memory device contexts
// and the frame buffers. Worker thread only.
class FrameMgr : public CompressionMgr {
 public:
  FrameMgr() = default;
  ~FrameMgr() { Release(); }
  FrameMgr(const FrameMgr&) = delete;
  FrameMgr& operator=(const FrameMgr&) = delete;

  // Fails when the screen cannot be read with BitBlt and GetDIBits.
  bool Init(EventMgr* owner);
  void Release();

  uint32_t GetToken() const { return token_; }
  void SetToken(uint32_t token) { token_ = token; }
  void SetPalettePending(bool pending) { palettePending_ = pending; }
  bool IsPalettePending() const { return palettePending_; }

 protected:
  EventMgr* owner_ = nullptr;
  HDC screenDC_ = nullptr;
  HDC memoryDC_ = nullptr;
  uint32_t token_ = 0;
  bool palettePending_ = false;
};
