// A program for the remote-control tests to share and work in: a titled
// window with a multi-line edit control above a list box, and a status line
// that says which list item was opened by a double click ("opened beta").
// Tests read the edit and the status line with WM_GETTEXT from their own
// process.
//
//   edit_and_list_program.exe TITLE X Y WIDTH HEIGHT
//
// The window covers the given screen rectangle; the edit fills its upper
// half, the status line and the list box the lower half. The program ends
// when its window is closed.

#include <windows.h>

#include <cstdlib>

namespace {
constexpr int kEditId = 1, kStatusId = 2, kListId = 3;
constexpr int kStatusHeight = 20;
const char* const kItems[] = {"alpha", "beta", "gamma", "delta"};

void CreateControls(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  const int width = client.right, half = client.bottom / 2;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  auto child = [&](const char* cls, DWORD style, int id, int y, int height) {
    return CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE | style, 0, y, width, height, window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  };
  HWND edit = child("EDIT", WS_BORDER | ES_MULTILINE | ES_AUTOVSCROLL, kEditId, 0, half);
  child("STATIC", 0, kStatusId, half, kStatusHeight);
  HWND list = child("LISTBOX", WS_BORDER | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, kListId,
                    half + kStatusHeight, client.bottom - half - kStatusHeight);
  for (const char* item : kItems)
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  SetFocus(edit);
}

void OpenSelectedItem(HWND window) {
  HWND list = GetDlgItem(window, kListId);
  LRESULT index = SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (index == LB_ERR) return;
  char item[64] = {};
  if (SendMessageA(list, LB_GETTEXTLEN, index, 0) >= static_cast<LRESULT>(sizeof item)) return;
  SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(item));
  char status[80];
  wsprintfA(status, "opened %s", item);
  SetDlgItemTextA(window, kStatusId, status);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CreateControls(window);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kListId && HIWORD(wParam) == LBN_DBLCLK) OpenSelectedItem(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) return 2;
  WNDCLASSA windowClass = {};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = "EditAndListProgram";
  if (!RegisterClassA(&windowClass)) return 1;
  HWND window =
      CreateWindowExA(0, windowClass.lpszClassName, argv[1], WS_POPUP | WS_CAPTION | WS_VISIBLE,
                      std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                      std::atoi(argv[5]), nullptr, nullptr, windowClass.hInstance, nullptr);
  if (!window) return 1;
  SetForegroundWindow(window);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
