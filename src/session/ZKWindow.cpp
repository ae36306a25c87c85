#include "session/ZKWindow.h"

#include <algorithm>

#include "common/Trace.h"
#include "compression/DecodeFailureMessageBox.h"
#include "hooks/ZKHooks.h"
#include "resources/resource.h"

namespace {
constexpr char kWindowClass[] = "Morvane Zenkast";
constexpr char kConfigFileName[] = ".\\ZK.ini";
constexpr UINT kClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
constexpr DWORD kCaptionBits = WS_CAPTION;
constexpr DWORD kBorderBits = WS_BORDER | WS_THICKFRAME;
constexpr UINT kZOrderAsync = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS;
constexpr RECT kDefaultPosition = {0, 0, 512, 384};
// How long the worker has to stop before it is terminated.
constexpr DWORD kWorkerStopMs = 20000;

// Both are held for the life of the library: the atom names the host-window
// property that leads back to the session object, the message asks the host
// window to recompute its hole.
ATOM g_sessionAtom = 0;
const UINT g_setRegionMessage = RegisterWindowMessageA("ZKWindow.SetRegion.Message");

void DeleteAndForget(HBITMAP& bitmap) {
  if (bitmap) {
    DeleteObject(bitmap);
    bitmap = nullptr;
  }
}
}  // namespace

UINT GetSetRegionMessage() { return g_setRegionMessage; }

ATOM GetSessionAtom() { return g_sessionAtom; }

// The tracker is given the position lock before that member is built: it
// takes it only once the object is whole.
ZKWindow::ZKWindow() : SharedWindowTracker(&positionLock_) {
  SetRectEmpty(&requestedPosition_);
  requestedVisible_ = 0;
  g_sessionAtom = GlobalAddAtomA("ZKWindow.Atom");
}

ZKWindow::~ZKWindow() {
  thread_.Destroy(kWorkerStopMs, true);
  if (g_sessionAtom) {
    GlobalDeleteAtom(g_sessionAtom);
    g_sessionAtom = 0;
  }
}

bool ZKWindow::Init(HINSTANCE module, HWND parent) {
  // A session whose worker ended by itself (its window was closed) is ended
  // as Release would end it, so that a new one can start; a running one is
  // left untouched. Once its window is gone a worker is only finishing.
  if (thread_.IsRunning()) {
    if (!thread_.HasEnded() && !windowDestroyed_) return true;
    EndSession(WorkerEnd::AWAITED);
  }
  ResetMembers();
  ResumeDispatching();
  AllowDecodeFailureBoxes();
  parent_ = parent;
  module_ = module;
  config_.SetFileName(kConfigFileName);
  return thread_.Create(ThreadLoop, this, nullptr, ThreadStart, ThreadExit);
}

void ZKWindow::ResetMembers() {
  window_ = nullptr;
  windowDestroyed_ = false;
  windowRegion_ = nullptr;
  annotationDialog_ = nullptr;
  roleFlags_ = 0;
  pointerX_ = pointerY_ = 0;
  paused_ = 0;
  annotationModeActive_ = 0;
  pollExclusive_ = 0;
  inSizeMove_ = 0;
  pendingMove_ = PackedPoint{};
  lightInputControl_ = 0;
  pollInterval_ = 0;
  inputControlToken_ = 0;
  SetToken(0);
  localMouseOverride_ = 0;
  pollProgressive_ = 0;
  captureDesktop_ = 0;
  dynamicUpdateThreshold_ = 0;
  showStatistics_ = 0;
  windowState_ = 0;
  displayMode_ = ZKM_NONE;
  pendingMoveSent_ = 1;
  updateInterval_ = 200;
  restartsPosted_ = 0;  // any still marked went to the last session's window
  setterPollPosted_ = false;
  dispatchingReceived_ = false;
  reportSendDelay_ = 0;
  dispatchOnPost_ = false;
  paintUpdatesAtOnce_ = 0;
  inputTimerOnDemand_ = 0;
  sendScheduled_ = false;
  dispatchPosted_ = false;
}

bool ZKWindow::Release() {
  Trace(TRACE_LIFECYCLE, "\r\nZKWindow: Release Called.");
  EndSession(WorkerEnd::AWAITED);
  Trace(TRACE_LIFECYCLE, "\r\nZKWindow: Released!");
  return true;
}

void ZKWindow::Unload(bool processExiting) {
  if (processExiting) {
    thread_.Forget();
    return;
  }
  // The worker gives the host window its own procedure and shape back by
  // sending to the window's thread; when that is this thread, blocked here
  // under the loader lock, it is done here instead, before the worker ends.
  HWND host = parent_;
  if (host && GetWindowThreadProcessId(host, nullptr) == GetCurrentThreadId()) {
    UnsubclassHost(host);
    UpdateHostHole(true);
  }
  EndSession(WorkerEnd::UNDER_LOADER_LOCK);
}

void ZKWindow::EndSession(WorkerEnd end) {
  {
    CriticalSectionLock lock(positionLock_);
    SetRectEmpty(&requestedPosition_);
    requestedVisible_ = 0;
  }
  StopDispatching();
  CloseDecodeFailureBoxes();
  if (end == WorkerEnd::AWAITED)
    thread_.Destroy(kWorkerStopMs, true);
  else
    thread_.DestroyUnderLoaderLock(kWorkerStopMs);
  // The annotation elements are the worker's; reset them only once it is gone.
  AnnotationMgr::Reset();
  CloseSignal();
  WindowRegionSet::Reset();
}

bool ZKWindow::ThreadLoop(void* context) {
  auto* self = static_cast<ZKWindow*>(context);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) return false;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    // Timers set shorter than their ticks take (a host may ask for a
    // millisecond) keep the queue from ever running empty: a stop is looked
    // for after every message, or ZK_Release would wait for it in vain.
    if (self->thread_.StopRequested()) return true;
  }
  // An empty queue is waited on, not looked at again every few milliseconds:
  // an idle session then costs nothing between its timers.
  self->thread_.WaitForMessagesOrStop();
  return true;
}

void ZKWindow::ThreadStart(void* context) { static_cast<ZKWindow*>(context)->Create(); }

void ZKWindow::ThreadExit(void* context) {
  auto* self = static_cast<ZKWindow*>(context);
  // Destroying the window runs Destroy from its WM_DESTROY. A window that is
  // gone already (the user closed it) ran it then; without a window at all,
  // the rest still needs it.
  HWND window = self->window_;
  // The system-wide hooks go first: destroying a window calls them on this
  // thread, and calling a hook takes the loader lock, which a host unloading
  // the library holds until this thread has ended.
  ZKHooks_UnSetHooks(window);
  if (window && IsWindow(window))
    DestroyWindow(window);
  else if (!self->windowDestroyed_)
    self->Destroy();
  self->window_ = nullptr;
}

bool ZKWindow::Create() {
  HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  CreateSignal();
  FrameMgr::Init(this);
  GetIconInfo(arrow, &arrowInfo_);

  RegisterWindowClass();
  PlaceDefaultRequestedPosition();
  window_ = CreateSessionWindow();
  ApplyFrameStyle();

  annotationDialog_ = CreateDialogParamA(module_, MAKEINTRESOURCEA(IDD_ANNOTATION), window_,
                                         AnnotationDialogProc, reinterpret_cast<LPARAM>(this));
  ShowWindow(window_, requestedVisible_ ? SW_SHOW : SW_HIDE);
  if (annotationDialog_) ShowWindow(annotationDialog_, SW_HIDE);
  ::UpdateWindow(window_);

  windowRegion_ = CreateRectRgn(0, 0, 0, 0);
  WindowRegionSet::SetWindow(window_);
  AnnotationMgr::Init(window_, this, this, this);
  SharedWindowTracker::Init(window_, this);
  SetStackAnchor(window_);

  PostMessageA(window_, WM_ZK_ENABLECAPTURE, 0, 0);  // every session starts as a viewer
  OnSize(SIZE_RESTORED);
  ReadConfiguration();
  SetDisplayMode();
  if (parent_) SubclassHost(parent_);
  return true;
}

bool ZKWindow::RegisterWindowClass() {
  WNDCLASSA wc = {};
  wc.style = kClassStyle;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = module_;
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.lpszClassName = kWindowClass;
  // An earlier session in this process registered it already: that is fine.
  return RegisterClassA(&wc) != 0;
}

void ZKWindow::PlaceDefaultRequestedPosition() {
  CriticalSectionLock lock(positionLock_);
  if (IsRectEmpty(&requestedPosition_)) {
    requestedPosition_ = kDefaultPosition;
    requestedVisible_ = 0;
  }
}

HWND ZKWindow::CreateSessionWindow() {
  RECT r;
  bool visible;
  {
    CriticalSectionLock lock(positionLock_);
    r = requestedPosition_;
    visible = requestedVisible_ != 0;
  }
  Trace(TRACE_LIFECYCLE, "\r\nCreate(%d, %d, %d, %d, %s)", static_cast<int>(r.left),
        static_cast<int>(r.top), static_cast<int>(r.right - r.left),
        static_cast<int>(r.bottom - r.top), visible ? "SW_SHOW" : "SW_HIDE");
  return CreateWindowExA(0, kWindowClass, kWindowClass, WS_OVERLAPPEDWINDOW, r.left, r.top,
                         r.right - r.left, r.bottom - r.top, parent_, nullptr, module_, this);
}

void ZKWindow::ApplyFrameStyle() {
  LONG style = GetWindowLongA(window_, GWL_STYLE);
  if (!config_.GetBool("ZK", "ShowTitleBar", false)) style &= ~kCaptionBits;
  if (!config_.GetBool("ZK", "ShowBorder", false)) style &= ~kBorderBits;
  SetWindowLongA(window_, GWL_STYLE, style);
}

void ZKWindow::ReadConfiguration() {
  captureDesktop_ = config_.GetBool("ZK", "CaptureDesktop", false);
  dynamicUpdateThreshold_ = config_.GetInt("ZK", "DynamicUpdateThreshhold", 50);
  EnableHuffman(config_.GetBool("CompressionMgr", "EnableHuffman", true));
  EnableLZ(config_.GetBool("CompressionMgr", "EnableLZ", true));
  EnableRLE332(config_.GetBool("CompressionMgr", "EnableRLE332", false));
  EnableRLE565(config_.GetBool("CompressionMgr", "EnableRLE565", true));
  SetLZMaxSearch(config_.GetInt("CompressionMgr", "LZMaxSearch", 32768));
  // Before the interval: with it the timer starts only for a move.
  inputTimerOnDemand_ = config_.GetBool("ZK", "InputTimerOnDemand", false);
  SetInputUpdateFrequency(config_.GetInt("ZK", "InputUpdateInterval", 200));
  SetUpdateFrequency(config_.GetInt("ZK", "UpdateInterval", 200));
  lightInputControl_ = config_.GetBool("ZK", "UseLightInputControl", false);
  if (config_.GetBool("ZK", "EnablePolling", true)) {
    uint32_t bands = config_.GetInt("ZK", "PollProgressive", 10);
    bool exclusive = config_.GetBool("ZK", "PollExclusive", false);
    uint32_t interval = config_.GetInt("ZK", "PollInterval", 200);
    SetPollFrequency(interval, exclusive, bands);
  }
  showStatistics_ = config_.GetBool("ZK", "ShowStatistics", showStatistics_ != 0);
  SetMaxQueueSize(config_.GetInt("EventMgr", "MaxQueueSize", 32768));
  if (showStatistics_) statistics_.Create(module_, window_);
  localMouseOverride_ = config_.GetInt("ZK", "LocalMouseOverride", 500);
  reportSendDelay_ = static_cast<uint32_t>(std::max(config_.GetInt("ZK", "ReportSendDelay", 0), 0));
  dispatchOnPost_ = config_.GetBool("ZK", "DispatchOnPost", false);
  paintUpdatesAtOnce_ = config_.GetBool("ZK", "PaintUpdatesAtOnce", false);
}

bool ZKWindow::Destroy() {
  Trace(TRACE_LIFECYCLE, "\r\nZKWindow: Destroy Called.");
  if (annotationDialog_) {
    DestroyWindow(annotationDialog_);
    annotationDialog_ = nullptr;
  }
  if (window_) {
    KillTimer(window_, TIMER_POLL);
    KillTimer(window_, TIMER_UPDATE);
    KillTimer(window_, TIMER_INPUT);
    KillTimer(window_, TIMER_SEND);
  }
  DeleteAndForget(arrowInfo_.hbmColor);
  DeleteAndForget(arrowInfo_.hbmMask);
  if (parent_) {
    if (GetWindowCount() > 0) SetWindowPos(GetPrimaryWindow(), parent_, 0, 0, 0, 0, kZOrderAsync);
    UnsubclassHost(parent_);
    UpdateHostHole(true);
  }
  if (windowRegion_) {
    DeleteObject(windowRegion_);
    windowRegion_ = nullptr;
  }
  RectList::Clear();
  recheck_.Clear();
  SharedWindowTracker::Clear();
  FrameMgr::Release();
  ZKHooks_UnSetHooks(window_);
  Trace(TRACE_LIFECYCLE, "\r\nZKWindow: Destroyed!");
  return true;
}
