#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "annotation/AnnotationMgr.h"
#include "common/CriticalSection.h"
#include "events/EventMgr.h"
#include "frames/FrameMgr.h"
#include "frames/RectList.h"
#include "session/AThread.h"
#include "session/ConfigFile.h"
#include "session/SessionMessages.h"
#include "sharing/SharedWindowTracker.h"
#include "sharing/WindowRegionSet.h"
#include "stats/Statistics.h"

// ZKWindow is the one session object of the library: it owns the worker
// thread, the session window "Morvane Zenkast" and, through its bases, the
// event queues, the frames, the window shaping, the annotations, the pending
// rectangles and the shared windows.
//
// Threads: Init, Release and Unload run on a host thread; everything else
// that touches the window, the frames or the bases runs on the worker thread.
// Hosts also call the frequency setters, SetParentWindow and SetPosition
// directly: they store their values at once and leave timers to the worker,
// whose window handle they read atomically.
class ZKWindow : public EventMgr,
                 public FrameMgr,
                 public WindowRegionSet,
                 public AnnotationMgr,
                 public RectList,
                 public SharedWindowTracker {
 public:
  ZKWindow();
  ~ZKWindow() override;

  // Host thread. Starts a session: the worker creates the window and reads
  // ".\ZK.ini". While a session runs, changes nothing and returns true.
  bool Init(HINSTANCE module, HWND parent);
  // Host thread. Ends the session; returns once the worker has ended.
  bool Release();
  // Host thread holding the loader lock, at unload, before destruction. Ends
  // a session that was not released without waiting for the worker's end,
  // which needs that lock; at process exit the system has ended it already.
  void Unload(bool processExiting);

  // Host thread or worker.
  bool SetUpdateFrequency(uint32_t intervalMs);
  bool SetInputUpdateFrequency(uint32_t intervalMs);
  bool SetPollFrequency(uint32_t intervalMs, bool exclusive, uint32_t bands);
  bool SetParentWindow(HWND parent);
  // Host thread. Places the session window (all bits set: leave unchanged);
  // the worker applies it 200 ms later, once the host has stopped moving it.
  bool SetPosition(uint32_t x, uint32_t y, uint32_t width, uint32_t height, bool visible);

  // Host thread. ZK_PostEvent: queues the event for the worker, and with
  // DispatchOnPost wakes the worker to handle it at once.
  bool PostReceivedEvent(const Event* in);

  HWND GetWindow() const { return window_; }
  int GetDisplayMode() const { return displayMode_; }
  UINT GetRoleFlags() const { return roleFlags_; }
  uint32_t GetUpdateInterval() const { return updateInterval_; }
  uint32_t GetInputInterval() const { return inputInterval_; }
  uint32_t GetPollInterval() const { return pollInterval_; }
  uint32_t GetPollProgressive() const { return pollProgressive_; }
  bool IsPollExclusive() const { return pollExclusive_ != 0; }
  bool IsCaptureDesktop() const { return captureDesktop_ != 0; }
  uint32_t GetDynamicUpdateThreshold() const { return dynamicUpdateThreshold_; }
  uint32_t GetLocalMouseOverride() const { return localMouseOverride_; }
  bool IsLightInputControl() const { return lightInputControl_ != 0; }
  bool IsShowStatistics() const { return showStatistics_ != 0; }
  uint32_t GetReportSendDelay() const { return reportSendDelay_; }
  bool IsDispatchOnPost() const { return dispatchOnPost_; }
  bool IsPaintUpdatesAtOnce() const { return paintUpdatesAtOnce_ != 0; }
  bool IsInputTimerOnDemand() const { return inputTimerOnDemand_ != 0; }
  HWND GetStatisticsDialog() const { return statistics_.GetDialog(); }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK AnnotationDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                               LPARAM lParam);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Protocol handlers (worker thread, under the queue lock).
  void OnDisplayFormat(const DisplayFormatMessage& format) override;
  void OnDisplayUpdate(const DisplayUpdateMessage& update) override;
  void OnMouseUpdate(const MouseMessage& mouse) override;
  void OnMousePosition(const MouseMessage& position) override;
  void OnKeyboardUpdate(const KeyboardMessage& key) override;
  void OnAnnotation(const AnnotationMessage& annotation) override;
  void OnAnnotationMode(const AnnotationModeMessage& mode) override;
  void OnPalette(const PaletteMessage& palette) override;

 private:
  // Lifecycle (ZKWindow.cpp).
  enum class WorkerEnd { AWAITED, UNDER_LOADER_LOCK };
  // What Release does; also the clean-up before a new session when the
  // user closed the last one's window, and at unload.
  void EndSession(WorkerEnd end);
  static bool ThreadLoop(void* context);
  static void ThreadStart(void* context);
  static void ThreadExit(void* context);
  bool Create();
  bool Destroy();
  void ResetMembers();
  bool RegisterWindowClass();
  void PlaceDefaultRequestedPosition();
  HWND CreateSessionWindow();
  void ApplyFrameStyle();
  void ReadConfiguration();

  // Window procedure (ZKWindowProc.cpp).
  LRESULT HandleStandardMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                bool* handled);
  LRESULT HandlePrivateMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled);
  // The drawing the hooks kept while their report waited in the queue.
  void TakeDrawnAreas();
  void RoundWindowWidth(WINDOWPOS* position);
  void OnPointerMove(UINT message, WPARAM wParam, LPARAM lParam);
  void FollowActivation(HWND activated);

  // Timers (ZKWindowTimers.cpp).
  void OnTimer(UINT_PTR timerId);
  // Worker. Kills the timer and sets it again with its current interval,
  // unless that is 0.
  void RestartTimer(UINT_PTR timerId);
  // Any thread. RestartTimer, on the worker: a timer belongs to its window's
  // thread. Without a session window the interval waits for the next one.
  void RestartTimerOnWorker(UINT_PTR timerId);
  uint32_t TimerInterval(UINT_PTR timerId) const;
  static uint32_t TimerBit(UINT_PTR timerId);
  void DispatchReceivedEvents();
  void RunStarvedUpdateTick();
  // With ReportSendDelay: arms TIMER_SEND for reported drawing, or for the
  // second look at it when that is due; and what it runs.
  void ScheduleReportedSend();
  void ScheduleRecheck();
  // After a send: for what is still pending, else for the second look.
  void ScheduleFollowUp();
  void OnSendTimer();
  void ApplyPosition();

  // Capture polling (frames/CapturePolling.cpp).
  void OnPoll(int bands);
  void OnScreenChanged(WPARAM topLeft, LPARAM bottomRight);
  bool AcceptsRect(const Rect& r) const;
  bool SendPendingUpdates();
  void TakeDueRechecks();
  // Milliseconds until the second look is due (0: now); the recheck list
  // must not be empty.
  uint32_t RecheckDueIn() const;
  Rect ScreenClientRect() const;

  // Application sharing (sharing/ClickToShare.cpp, sharing/HostWindowHole.cpp).
  void ClickToShare(HWND window, uint32_t reason);
  // Lets go of shared windows whose programs ended unannounced.
  void ForgetEndedSharedWindows();
  bool SubclassHost(HWND host);
  bool UnsubclassHost(HWND host);
  static LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Cuts the session window's requested rectangle out of the host window
  // while something is captured, or takes the cut away. Serialised under the
  // position lock; the host window's own thread sets its region, other
  // threads ask it to.
  bool UpdateHostHole(bool remove);

  // Display modes and roles (DisplayModes.cpp).
  void SetDisplayMode();
  int DeriveDisplayMode() const;
  void EnterDisplay();
  void EnterCapture(int mode);
  void EnterAnnotation();
  void AskHostForHole();
  void EnableCapture(bool enable, uint32_t token);
  void PauseCapture(bool pause);
  void EnableAnnotation(bool enable);
  void RequestFullUpdate(uint32_t requestTag);
  void ApplyAnnotationDialogRule();

  // Viewer rendering, scrolling and sizing (frames/ViewerRendering.cpp).
  void OnSize(UINT sizeType);
  void OnMove();
  void OnPaint();
  bool OnEraseBkgnd(HDC dc);
  void PaintClient(HDC dc, const RECT& r, bool forced);
  void RepaintNow();
  void DrawRemotePointer(HDC dc);
  void OnScroll(int bar, int code);
  bool UpdateScrollBars();
  void SetScrollRange(int bar, int clientSize, int frameSize);
  void UpdateScrollOffsets();
  bool UpdateCaptureRegion();

  // Control tokens (input/TokenArbitration.cpp).
  bool CheckCaptureToken(uint32_t token);
  bool CheckInputToken(uint32_t token, bool fromPosition);
  bool SendCancelInputControl();
  void EnableInputControl(bool on, uint32_t token);

  // Remote input control (input/RemoteInput.cpp).
  void OnMouseInput(UINT message, WPARAM wParam, LPARAM lParam);
  void OnKeyInput(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInputTick();
  void SendPointer(UINT message, uint32_t wParam, PackedPoint point);
  // A received point in session-window client coordinates, inside the picture.
  POINT ClampToPicture(PackedPoint point) const;
  void InvalidatePointer();
  void AddHighlight();
  void AddMarker(uint32_t colour);
  void ClearAnnotation();
  void AnnotationMode(uint8_t on, bool broadcast);
  bool SendAnnotationMode(uint8_t on);

  ConfigFile config_;
  // Written by the worker as the window comes and goes, read by host threads.
  std::atomic<HWND> window_{nullptr};
  HWND parent_ = nullptr;
  HINSTANCE module_ = nullptr;
  HRGN windowRegion_ = nullptr;
  HWND annotationDialog_ = nullptr;
  // Read by the host window's thread for its hole.
  std::atomic<int> displayMode_{ZKM_NONE};
  UINT roleFlags_ = 0;
  RECT captureArea_ = {};
  AThread thread_;
  // Set on the worker when its window is destroyed: the worker is ending.
  std::atomic<bool> windowDestroyed_{false};
  int32_t pointerX_ = 0;
  int32_t pointerY_ = 0;
  uint8_t paused_ = 0;
  uint8_t annotationModeActive_ = 0;
  // The intervals and poll settings are stored by whichever thread calls a
  // setter and read by the worker.
  std::atomic<uint8_t> pollExclusive_{0};
  std::atomic<uint32_t> pollProgressive_{0};
  uint8_t inSizeMove_ = 0;
  uint8_t captureDesktop_ = 0;
  PackedPoint pendingMove_ = {};
  uint8_t pendingMoveSent_ = 1;
  uint8_t lightInputControl_ = 0;
  std::atomic<uint32_t> updateInterval_{200};
  // When the update tick last ran; it counts as ticking once it has run.
  uint32_t lastUpdateTick_ = 0;
  bool updateTicking_ = false;
  bool inUpdateTick_ = false;
  bool dispatchingReceived_ = false;  // a pass, or the boxes it reports in, under way
  // Configuration of the event-driven paths (0 / false: the update tick's).
  uint32_t reportSendDelay_ = 0;
  std::atomic<bool> dispatchOnPost_{false};
  uint8_t paintUpdatesAtOnce_ = 0;
  uint8_t inputTimerOnDemand_ = 0;
  // TIMER_SEND is armed.
  bool sendScheduled_ = false;
  // A WM_ZK_DISPATCH posted by a host thread that the worker has not yet taken.
  std::atomic<bool> dispatchPosted_{false};
  // OnDisplayUpdate paints through the window's own paint, now and in full.
  bool paintingUpdate_ = false;
  std::atomic<uint32_t> inputInterval_{0};
  std::atomic<uint32_t> pollInterval_{0};
  // Timers (one bit each) whose restart a host thread has posted to the
  // worker and the worker has not yet made.
  std::atomic<uint32_t> restartsPosted_{0};
  // A poll posted by SetPollFrequency that the worker has not yet taken.
  std::atomic<bool> setterPollPosted_{false};
  uint8_t showStatistics_ = 0;
  uint32_t inputControlToken_ = 0;
  ICONINFO arrowInfo_ = {};
  uint32_t localMouseOverride_ = 0;
  uint32_t dynamicUpdateThreshold_ = 0;
  // Where screen-change reports pointed, to be looked at once more: a report
  // may come before the drawing it announces has reached the screen.
  RectList recheck_;
  uint32_t recheckSince_ = 0;
  uint32_t recheckLastReport_ = 0;
  CriticalSection positionLock_;
  RECT requestedPosition_ = {};
  uint8_t requestedVisible_ = 0;
  UINT windowState_ = 0;
  Statistics statistics_;
};

// The outermost ancestor reached through parent links, or the window itself.
HWND GetTopLevelWindow(HWND window);
// Invalidates as the platform does; the caller's name is for diagnosis only.
BOOL InvalidateWindow(HWND window, const RECT* rect, BOOL erase, const char* callerName);

// Registered message that asks the host window to recompute its hole.
UINT GetSetRegionMessage();
// Names the host-window property that leads back to the session object.
ATOM GetSessionAtom();
