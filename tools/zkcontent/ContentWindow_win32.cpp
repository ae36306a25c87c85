#include "ContentWindow.h"

namespace {
constexpr char kClassName[] = "ZKContentWindow";

bool RegisterClassOnce(WNDPROC procedure) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = procedure;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.lpszClassName = kClassName;
  return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
}  // namespace

ContentWindow::~ContentWindow() {
  if (window_) DestroyWindow(window_);
}

bool ContentWindow::Create(int x, int y, int width, int height) {
  if (!RegisterClassOnce(WindowProc)) return false;
  window_ = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "zkcontent", WS_POPUP, x, y, width,
                            height, nullptr, nullptr, GetModuleHandleA(nullptr), this);
  if (!window_) return false;
  ShowWindow(window_, SW_SHOWNOACTIVATE);
  Pump();
  return true;
}

void ContentWindow::Show(const Picture& picture) {
  picture_ = picture;
  InvalidateRect(window_, nullptr, FALSE);
  UpdateWindow(window_);
  GdiFlush();
  Pump();
}

void ContentWindow::Place(int x, int y, int width, int height) {
  SetWindowPos(window_, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(window_, nullptr, FALSE);
  UpdateWindow(window_);
  Pump();
}

void ContentWindow::Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void ContentWindow::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  RECT client;
  GetClientRect(window_, &client);
  // Black only where the picture does not reach: a grab taken halfway
  // through this paint must not see the picture blacked out.
  int saved = SaveDC(dc);
  ExcludeClipRect(dc, 0, 0, picture_.width, picture_.height);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  RestoreDC(dc, saved);
  if (!picture_.pixels.empty()) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(picture_.width);
    info.bmiHeader.biHeight = static_cast<LONG>(picture_.height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, picture_.width, picture_.height, 0, 0, 0, picture_.height,
                      picture_.pixels.data(), &info, DIB_RGB_COLORS);
  }
  EndPaint(window_, &ps);
}

LRESULT CALLBACK ContentWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<ContentWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_PAINT && self) {
    self->Paint();
    return 0;
  }
  if (message == WM_ERASEBKGND) return 1;
  return DefWindowProcA(window, message, wParam, lParam);
}
