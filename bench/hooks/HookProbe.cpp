// What the desktop's hooks cost an ordinary program: a window of this
// process takes posted messages through its own loop, messages sent to
// itself, and paints, and the time of each batch is printed on one line:
//   posted_ms sent_ms paints_ms
// Built both 32-bit and 64-bit (bench/hooks/run.sh), since the hooks reach
// the two kinds of program differently. Optional arguments: X Y of the
// window, then "bare-hooks": the probe sets, on its own thread, hooks of the
// two kinds a capturing presenter sets on a 32-bit program's threads (on
// messages taken and on sent messages after their handling), from a library
// as the presenter's are (PassOnHooks.dll beside the probe), that do nothing
// but pass the call on: what those hooks cost under this system, whatever
// they do.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kPosted = 20000;
constexpr int kSent = 5000;
constexpr int kPaints = 2000;
// Posting all at once would overrun the queue's limit: batches are drained
// between posts.
constexpr int kPostBatch = 500;
constexpr UINT kPostedMessage = WM_APP + 1;
constexpr UINT kSentMessage = WM_APP + 2;

int g_taken = 0;

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kPostedMessage:
    case kSentMessage:
      ++g_taken;
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      // A different colour each time, so that every paint changes the screen.
      HBRUSH brush = CreateSolidBrush(RGB(g_taken & 0xFF, 0x40, 0x80));
      FillRect(dc, &paint.rcPaint, brush);
      DeleteObject(brush);
      EndPaint(window, &paint);
      ++g_taken;
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

bool SetBareHooks() {
  HMODULE library = LoadLibraryW(L"PassOnHooks.dll");
  auto passOn = library ? reinterpret_cast<HOOKPROC>(GetProcAddress(library, "PassOn")) : nullptr;
  if (!passOn) return false;
  const DWORD thread = GetCurrentThreadId();
  return SetWindowsHookExW(WH_GETMESSAGE, passOn, library, thread) &&
         SetWindowsHookExW(WH_CALLWNDPROCRET, passOn, library, thread);
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

void Drain() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

double TimePosted(HWND window) {
  LARGE_INTEGER start = Now();
  for (int done = 0; done < kPosted; done += kPostBatch) {
    for (int i = 0; i < kPostBatch; ++i) PostMessageW(window, kPostedMessage, 0, 0);
    Drain();
  }
  return Milliseconds(start, Now());
}

double TimeSent(HWND window) {
  LARGE_INTEGER start = Now();
  for (int i = 0; i < kSent; ++i) SendMessageW(window, kSentMessage, 0, 0);
  return Milliseconds(start, Now());
}

double TimePaints(HWND window) {
  LARGE_INTEGER start = Now();
  for (int i = 0; i < kPaints; ++i) {
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
  }
  return Milliseconds(start, Now());
}

HWND MakeWindow(int x, int y) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = ProbeProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"ZKHookProbe";
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"hook probe",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, 320, 240, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
  if (window) {
    UpdateWindow(window);
    // Under Wine a thread learns of hooks set since its last message only
    // with its next one; the warm-up also settles the first paints.
    for (int i = 0; i < 50; ++i) PostMessageW(window, kPostedMessage, 0, 0);
    Drain();
  }
  return window;
}

}  // namespace

int main(int argc, char** argv) {
  int x = argc > 2 ? std::atoi(argv[1]) : 100;
  int y = argc > 2 ? std::atoi(argv[2]) : 100;
  if (argc > 3 && std::strcmp(argv[3], "bare-hooks") == 0 && !SetBareHooks()) {
    std::fprintf(stderr, "hook probe: cannot set the pass-on hooks (PassOnHooks.dll)\n");
    return 1;
  }
  HWND window = MakeWindow(x, y);
  if (!window) {
    std::fprintf(stderr, "hook probe: cannot create a window (is DISPLAY set?)\n");
    return 1;
  }
  double posted = TimePosted(window);
  double sent = TimeSent(window);
  double paints = TimePaints(window);
  std::printf("%.1f %.1f %.1f\n", posted, sent, paints);
  DestroyWindow(window);
  return 0;
}
