#include "SharingCommands.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "CommandWords.h"
#include "ProgramWindows.h"

namespace {

constexpr double kFindSeconds = 10;
constexpr double kClickSeconds = 30;
// The library answers on its next turn; this only bounds a wait for a
// library that has stopped.
constexpr double kReportSeconds = 10;

uint32_t HandleValue(HWND window) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
}

bool ParseSeconds(const CommandWordList& arguments, size_t index, double fallback,
                  double* seconds) {
  *seconds = fallback;
  if (arguments.size() <= index) return true;
  char* end = nullptr;
  *seconds = std::strtod(arguments[index].c_str(), &end);
  return end && *end == '\0' && *seconds >= 0;
}

bool Contains(const std::string& text, const std::string& part) {
  auto lower = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
  };
  return lower(text).find(lower(part)) != std::string::npos;
}

// Waits for the first report since `since` whose code is one of `codes`, for
// `handle` (any window when 0).
bool AwaitReport(const SharedWindowList& list, size_t since, uint32_t handle,
                 std::initializer_list<uint16_t> codes, double seconds,
                 SharedWindowMessage* found) {
  return WaitWhilePumping(seconds, [&] {
    for (const SharedWindowMessage& report : list.ReportsSince(since)) {
      bool wanted = std::find(codes.begin(), codes.end(), report.code) != codes.end();
      if (wanted && (handle == 0 || report.window == handle)) {
        *found = report;
        return true;
      }
    }
    return false;
  });
}

std::string ReplyTo(const SharedWindowMessage& report, const std::string& title) {
  std::string window = DescribeWindow(report.window, report.code == ZKSW_REFUSED ? title : report.title);
  switch (report.code) {
    case ZKSW_ADDED:
    case ZKSW_PRIMARY:
      return OkReply("shared " + window);
    case ZKSW_REMOVED:
      return OkReply("unshared " + window);
    default:
      return ErrorReply("the library refused to share " + window);
  }
}

// Asks the library and waits for its answer.
std::string Ask(HostSession& session, HWND window, uint32_t reason,
                std::initializer_list<uint16_t> answers) {
  const SharedWindowList& list = *session.sharedWindows;
  size_t since = list.ReportCount();
  std::string title = WindowTitle(window);
  if (!session.zk.ClickToShare(window, reason))
    return ErrorReply("the window " + DescribeWindow(HandleValue(window), title) + " is gone");
  SharedWindowMessage report;
  if (!AwaitReport(list, since, HandleValue(window), answers, kReportSeconds, &report))
    return ErrorReply("no answer from the library");
  return ReplyTo(report, title);
}
}  // namespace

std::string RunShare(HostSession& session, const CommandWordList& arguments) {
  double seconds;
  if (arguments.empty() || arguments.size() > 2 || !ParseSeconds(arguments, 1, kFindSeconds, &seconds))
    return ErrorReply("usage: share TITLE [SECONDS]");
  HWND window = nullptr;
  if (!WaitWhilePumping(seconds, [&] { return (window = FindProgramWindow(arguments[0])) != nullptr; }))
    return ErrorReply("no window of another program has \"" + arguments[0] + "\" in its title");
  // Making it primary shares it when it is not shared yet, and never
  // toggles it off.
  return Ask(session, window, ZK_SHARE_PRIMARY, {ZKSW_PRIMARY, ZKSW_REFUSED});
}

std::string RunUnshare(HostSession& session, const CommandWordList& arguments) {
  if (arguments.size() > 1) return ErrorReply("usage: unshare [TITLE]");
  SharedWindowList::Window chosen = {0, ""};
  if (arguments.empty()) {
    chosen = session.sharedWindows->Primary();
    std::vector<SharedWindowList::Window> shared = session.sharedWindows->Shared();
    if (chosen.handle == 0 && !shared.empty()) chosen = shared.back();
  } else {
    for (const SharedWindowList::Window& window : session.sharedWindows->Shared()) {
      if (Contains(window.title, arguments[0])) chosen = window;
    }
  }
  if (chosen.handle == 0)
    return ErrorReply(arguments.empty() ? "nothing is shared"
                                        : "no shared window has \"" + arguments[0] + "\" in its title");
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(chosen.handle));
  return Ask(session, window, ZK_SHARE_REMOVE, {ZKSW_REMOVED});
}

std::string RunClickToShare(HostSession& session, const CommandWordList& arguments) {
  double seconds;
  if (arguments.size() > 1 || !ParseSeconds(arguments, 0, kClickSeconds, &seconds))
    return ErrorReply("usage: click-to-share [SECONDS]");
  const SharedWindowList& list = *session.sharedWindows;
  size_t since = list.ReportCount();
  if (!session.zk.ClickToShare(nullptr, ZK_SHARE_OR_TOGGLE)) return ErrorReply("no session window");
  SharedWindowMessage report;
  if (!AwaitReport(list, since, 0, {ZKSW_PRIMARY, ZKSW_REMOVED, ZKSW_REFUSED}, seconds, &report))
    return ErrorReply("no window was clicked (the next click still picks one)");
  return ReplyTo(report, "");
}
