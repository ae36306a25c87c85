#include "ProgramWindows.h"

#include <algorithm>
#include <cctype>

namespace {
std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

struct Search {
  std::string part;
  HWND found;
};

BOOL CALLBACK Consider(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  if (Lowered(WindowTitle(window)).find(search->part) == std::string::npos) return TRUE;
  search->found = window;
  return FALSE;
}
}  // namespace

HWND FindProgramWindow(const std::string& titlePart) {
  Search search = {Lowered(titlePart), nullptr};
  EnumWindows(Consider, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string WindowTitle(HWND window) {
  char title[256] = {};
  GetWindowTextA(window, title, sizeof title);
  return title;
}
