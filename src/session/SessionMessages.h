#pragma once

#include <windows.h>

// Private window messages of the session window. Host calls post them from
// any thread; the worker handles them in posting order.
enum SessionMessage : UINT {
  WM_ZK_DIRTYRECT = 0x0800,  // wParam left|top<<16, lParam right|bottom<<16 (screen)
  WM_ZK_ENABLECAPTURE = 0x1400,
  WM_ZK_PAUSECAPTURE = 0x1401,
  WM_ZK_REQUESTFULLUPDATE = 0x1402,
  WM_ZK_CLICKTOSHARE = 0x1403,
  WM_ZK_ENABLEINPUTCONTROL = 0x1404,
  WM_ZK_ADDHIGHLIGHT = 0x1405,
  WM_ZK_ADDMARKER = 0x1406,
  WM_ZK_CLEARANNOTATION = 0x1407,
  WM_ZK_POLL = 0x1408,  // wParam signed band count
  WM_ZK_RESTARTTIMER = 0x1409,  // wParam timer id; the setters' hand-over to the worker
  WM_ZK_DISPATCH = 0x140A,  // events were handed in (with DispatchOnPost)
  WM_ZK_ENABLEANNOTATION = 0x2400,
};

// Timers of the session window.
enum SessionTimer : UINT_PTR {
  TIMER_UPDATE = 1000,
  TIMER_INPUT = 1001,
  TIMER_POLL = 1002,
  TIMER_POSITION = 1003,
  TIMER_REPAINT = 1004,
  TIMER_SEND = 1005,  // reported drawing, or its second look, is due (with ReportSendDelay)
};

// Display modes, derived by ZKWindow::SetDisplayMode.
enum DisplayMode : int {
  ZKM_NONE = 0,
  ZKM_DISPLAY = 1,
  ZKM_CAPTURE = 2,
  ZKM_ANNOTATION = 3,
  ZKM_CAPTUREIDLE = 4,
};

// Role flags.
enum RoleFlag : UINT {
  ROLE_CAPTURE = 1,        // presenter
  ROLE_INPUT_CONTROL = 2,  // this side forwards its own input
  ROLE_ANNOTATION = 4,     // annotation enabled
};

// Window state flags: bit 0 while the session window is iconic, hidden,
// smaller than 16 pixels or off the screen.
enum WindowStateFlag : UINT { WINDOW_STATE_UNUSABLE = 1 };
