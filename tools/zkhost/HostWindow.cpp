#include "HostWindow.h"

namespace {
constexpr char kClassName[] = "zkhost presenter";
constexpr COLORREF kBackground = RGB(0x30, 0x38, 0x48);
constexpr COLORREF kText = RGB(0xE0, 0xE0, 0xE0);

void Paint(HWND window, const std::string& caption) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  HBRUSH brush = CreateSolidBrush(kBackground);
  FillRect(dc, &client, brush);
  DeleteObject(brush);
  RECT strip = client;
  strip.top = strip.bottom - HostWindow::kStripHeight;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kText);
  DrawTextA(dc, caption.c_str(), -1, &strip, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  EndPaint(window, &paint);
}
}  // namespace

HostWindow::~HostWindow() {
  if (window_) DestroyWindow(window_);
}

bool HostWindow::Create(int x, int y, int width, int height, const std::string& caption) {
  caption_ = caption;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.lpszClassName = kClassName;
  RegisterClassA(&wc);  // fails harmlessly when it exists already
  window_ = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, caption.c_str(), WS_POPUP, x, y, width,
                            height + kStripHeight, nullptr, nullptr, wc.hInstance, this);
  if (!window_) return false;
  ShowWindow(window_, SW_SHOWNOACTIVATE);
  UpdateWindow(window_);
  return true;
}

void HostWindow::SetCaption(const std::string& caption) {
  caption_ = caption;
  SetWindowTextA(window_, caption.c_str());
  InvalidateRect(window_, nullptr, FALSE);
}

LRESULT CALLBACK HostWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_PAINT && self) {
    Paint(window, self->caption_);
    return 0;
  }
  if (message == WM_ERASEBKGND) return 1;  // painted whole in WM_PAINT
  return DefWindowProcA(window, message, wParam, lParam);
}
