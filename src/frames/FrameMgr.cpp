#include "frames/FrameMgr.h"

bool FrameMgr::Init(EventMgr* owner) {
  owner_ = owner;
  token_ = 0;
  screenDC_ = GetDC(nullptr);
  if (!screenDC_) return false;
  memoryDC_ = CreateCompatibleDC(screenDC_);
  if (!memoryDC_) return false;
  return (GetDeviceCaps(screenDC_, RASTERCAPS) & RC_BITBLT) &&
         (GetDeviceCaps(memoryDC_, RASTERCAPS) & RC_DI_BITMAP);
}

void FrameMgr::Release() {
  if (screenDC_) {
    ReleaseDC(nullptr, screenDC_);
    screenDC_ = nullptr;
  }
  if (memoryDC_) {
    DeleteDC(memoryDC_);
    memoryDC_ = nullptr;
  }
}
