#include "AnnotationCommands.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>

#include "CommandWords.h"
#include "PresenterHost.h"

namespace {
const char kSessionWindowClass[] = "Morvane Zenkast";
const char kDialogClass[] = "#32770";
constexpr int kCancelAnnotationButton = 1001;
const char kDefaultMarkerColour[] = "FF0000";

std::string NotEnabled() { return ErrorReply("annotation is off here; run annotation on first"); }

BOOL CALLBACK KeepSessionWindow(HWND window, LPARAM found) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (process != GetCurrentProcessId() || lstrcmpA(className, kSessionWindowClass) != 0)
    return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// The library's session window in this process; null without a session.
HWND FindSessionWindow() {
  HWND found = nullptr;
  EnumWindows(KeepSessionWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}
}  // namespace

bool ParseMarkerColour(const std::string& text, uint32_t* colour) {
  if (text.size() != 6) return false;
  for (char c : text)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  const unsigned long rgb = std::strtoul(text.c_str(), nullptr, 16);
  *colour = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
  return true;
}

std::string RunAnnotation(HostSession& session, const CommandWordList& arguments) {
  if (arguments.size() != 1 || (arguments[0] != "on" && arguments[0] != "off"))
    return ErrorReply("usage: annotation on|off");
  const bool on = arguments[0] == "on";
  if (!session.zk.EnableAnnotation(on ? 1 : 0)) return ErrorReply("the library did not take it");
  session.annotationEnabled = on;
  // A presenter's viewers annotate only while it allows annotation.
  if (session.viewers) session.viewers->AllowAnnotation(on);
  return OkReply(on ? "annotation allowed" : "annotation forbidden");
}

std::string RunHighlight(HostSession& session, const CommandWordList& arguments) {
  if (!arguments.empty()) return ErrorReply("highlight takes no arguments");
  if (!session.annotationEnabled) return NotEnabled();
  if (!session.zk.AddHighlight()) return ErrorReply("the library did not take it");
  return OkReply("drag on the session window to place the highlight");
}

std::string RunMarker(HostSession& session, const CommandWordList& arguments) {
  if (arguments.size() > 1) return ErrorReply("usage: marker [RRGGBB]");
  const std::string text = arguments.empty() ? kDefaultMarkerColour : arguments[0];
  uint32_t colour = 0;
  if (!ParseMarkerColour(text, &colour)) return ErrorReply("not a colour RRGGBB: " + text);
  if (!session.annotationEnabled) return NotEnabled();
  if (!session.zk.AddMarker(colour)) return ErrorReply("the library did not take it");
  return OkReply("click on the session window to place the marker");
}

std::string RunClearMarks(HostSession& session, const CommandWordList& arguments) {
  if (!arguments.empty()) return ErrorReply("clear-marks takes no arguments");
  if (!session.annotationEnabled) return NotEnabled();
  if (!session.zk.ClearAnnotation()) return ErrorReply("the library did not take it");
  return OkReply("marks cleared");
}

std::string RunLeaveAnnotation(HostSession& session, const CommandWordList& arguments) {
  if (!arguments.empty()) return ErrorReply("leave-annotation takes no arguments");
  if (!session.annotationEnabled) return NotEnabled();
  HWND window = FindSessionWindow();
  HWND dialog = window ? FindWindowExA(window, nullptr, kDialogClass, nullptr) : nullptr;
  HWND button = dialog ? GetDlgItem(dialog, kCancelAnnotationButton) : nullptr;
  // What a click on the button sends its dialog.
  if (!button || !PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(kCancelAnnotationButton, BN_CLICKED),
                               reinterpret_cast<LPARAM>(button)))
    return ErrorReply("no Cancel Annotation button in this session");
  return OkReply("leaving annotation mode");
}
