// Prints the text of the edit control of the first top-level window whose
// title contains TITLE, read with WM_GETTEXT as any program may read
// another's: how the browser viewer's end-to-end test sees what its typing
// did on the presenter's desktop.
//
//   zk_window_text.exe TITLE
//
// Exit code 1 when no such window or edit control exists.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {
struct Search {
  const char* title;
  HWND found;
};

BOOL CALLBACK ByTitle(HWND window, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  char title[256] = {};
  GetWindowTextA(window, title, sizeof title);
  if (!std::strstr(title, search->title)) return TRUE;
  search->found = window;
  return FALSE;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zk_window_text TITLE\n");
    return 2;
  }
  Search search = {argv[1], nullptr};
  EnumWindows(ByTitle, reinterpret_cast<LPARAM>(&search));
  HWND edit = search.found ? FindWindowExA(search.found, nullptr, "Edit", nullptr) : nullptr;
  if (!edit) return 1;
  static char text[65536];
  SendMessageTimeoutA(edit, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 5000, nullptr);
  std::fputs(text, stdout);
  return 0;
}
