#pragma once

#include <cstdint>

#include "events/Event.h"

// The library as the Java natives reach it. The natives only translate Java
// types, arrays and callbacks; everything they ask of the session goes through
// this interface, so that the same natives run inside ZK.dll, where
// JavaEngine_win32.cpp forwards to the exported functions, and natively under
// a real JVM against a recording stand-in.
//
// Owner: the module that links the natives defines TheJavaEngine(), one
// engine for the life of the process. Threads: any Java thread, with the
// thread rules of the exported functions.
class JavaEngine {
 public:
  // Finds the Java host's own window, makes it the session window's owner and
  // starts the session.
  virtual bool Init() = 0;
  virtual bool Release() = 0;
  virtual bool EnableCapture(bool enable, uint32_t captureToken) = 0;
  virtual bool PauseCapture(bool pause) = 0;
  virtual bool EnableInputControl(bool enable, uint32_t inputToken) = 0;
  virtual bool EnableAnnotation(bool enable) = 0;
  virtual bool SetPosition(uint32_t x, uint32_t y, uint32_t width, uint32_t height, bool show) = 0;
  virtual bool WaitForEvents(uint32_t timeoutMs) = 0;
  // As EventMgr::GetQueuedEvent: the payload is a HostAlloc block that the
  // caller frees with HostFree.
  virtual bool GetQueuedEvent(Event* out) = 0;
  // Copies the event; the caller keeps its payload.
  virtual bool PostEvent(const Event& event) = 0;
  virtual bool RequestFullUpdate(uint32_t requestId) = 0;
  // A window of the presenter by its 32-bit handle; false, posting nothing,
  // for a handle that names no window or a window without a title.
  virtual bool ClickToShare(uint32_t window, uint32_t reason) = 0;
  virtual bool AddHighlight() = 0;
  virtual bool AddMarker(uint32_t colour) = 0;
  virtual bool ClearAnnotation() = 0;

 protected:
  ~JavaEngine() = default;
};

JavaEngine& TheJavaEngine();
