#include "HostCommands.h"

#include <windows.h>

#include <chrono>

#include "AnnotationCommands.h"
#include "CommandWords.h"
#include "InitSettings.h"
#include "ControlCommands.h"
#include "SharingCommands.h"

namespace {
std::string Help(HostSession& session, const CommandWordList& arguments);

std::string Stop(HostSession& session, const CommandWordList& arguments) {
  if (!arguments.empty()) return ErrorReply("stop takes no arguments");
  session.stop();
  return OkReply("stopping");
}

std::string Profile(HostSession& session, const CommandWordList& arguments) {
  if (arguments.size() > 1) return ErrorReply("usage: profile [NAME]");
  if (arguments.empty()) return OkReply(DescribeSessionProfile(*session.profile));
  const SessionProfile* profile = FindSessionProfile(arguments[0]);
  if (!profile) return ErrorReply("unknown profile " + arguments[0]);
  // The library reads its settings once, as the session starts.
  if (!profile->setsFrequencies)
    return ErrorReply("the library's settings apply from the start only (--profile " +
                      std::string(profile->name) + ")");
  if (!ApplySessionProfile(session.zk, *profile)) return ErrorReply("the library refused it");
  session.profile = profile;
  return OkReply(DescribeSessionProfile(*profile));
}

std::string Signature(const HostCommand& command) {
  return *command.arguments ? std::string(command.word) + " " + command.arguments : command.word;
}

bool Serves(const HostCommand& command, const HostSession& session) {
  return command.roles & (session.presenter ? kInPresenter : kInViewer);
}

const HostCommand* Find(const std::string& word, const HostSession& session) {
  for (const HostCommand& command : HostCommands()) {
    if (word == command.word && Serves(command, session)) return &command;
  }
  return nullptr;
}

std::string Help(HostSession& session, const CommandWordList& arguments) {
  if (arguments.size() > 1) return ErrorReply("usage: help [COMMAND]");
  if (arguments.size() == 1) {
    const HostCommand* command = Find(arguments[0], session);
    if (!command) return ErrorReply("unknown command " + arguments[0]);
    return OkReply(Signature(*command) + ": " + command->help);
  }
  std::string list;
  for (const HostCommand& command : HostCommands()) {
    if (!Serves(command, session)) continue;
    list += (list.empty() ? "" : ", ") + Signature(command);
  }
  return OkReply(list);
}
}  // namespace

const std::vector<HostCommand>& HostCommands() {
  static const std::vector<HostCommand> commands = {
      {"help", "[COMMAND]", "list the commands, or say what one does", kInBoth, Help},
      {"stop", "", "end this zkhost: release the session and exit", kInBoth, Stop},
      {"share", "TITLE [SECONDS]",
       "share the first window of another program whose title contains TITLE, waiting up to "
       "SECONDS (10) for it to appear; it fills the frame and is followed",
       kInPresenter, RunShare},
      {"unshare", "[TITLE]",
       "stop sharing the shared window whose title contains TITLE, or the followed one",
       kInPresenter, RunUnshare},
      {"click-to-share", "[SECONDS]",
       "share the next window clicked (unshare it when it is shared and in place); waits up to "
       "SECONDS (30) for the click",
       kInPresenter, RunClickToShare},
      {"annotation", "on|off",
       "allow or forbid annotation here; while allowed, the Cancel Annotation button shows in "
       "annotation mode; a presenter takes its viewers' marks only while it allows them",
       kInBoth, RunAnnotation},
      {"highlight", "",
       "enter annotation mode (everyone follows) and place one highlight: drag on the session "
       "window",
       kInBoth, RunHighlight},
      {"marker", "[RRGGBB]",
       "enter annotation mode (everyone follows) and place one marker of that colour (FF0000): "
       "click on the session window",
       kInBoth, RunMarker},
      {"clear-marks", "", "remove every mark, here and everywhere", kInBoth, RunClearMarks},
      {"leave-annotation", "",
       "leave annotation mode everywhere, as the Cancel Annotation button does; the marks go",
       kInBoth, RunLeaveAnnotation},
      {"control", "[SECONDS]",
       "take input control: ask the presenter for a token, waiting up to SECONDS (60) for its "
       "person to allow it (a token that comes later is given back); mouse and keys in this "
       "window then work the presenter's desktop",
       kInViewer, RunControl},
      {"release-control", "", "give input control back to the presenter", kInViewer,
       RunReleaseControl},
      {"viewers", "", "list the viewers: number, name, address, and who has or asks for control",
       kInPresenter, RunViewers},
      {"allow", "VIEWER", "give input control to a viewer that asks for it", kInPresenter,
       RunAllow},
      {"deny", "VIEWER", "refuse a viewer's request for input control", kInPresenter, RunDeny},
      {"revoke", "", "take input control back from the viewer that has it", kInPresenter,
       RunRevoke},
      {"profile", "[NAME]",
       "show the poll, update and input frequencies in force, or switch to profile NAME",
       kInBoth, Profile},
  };
  return commands;
}

void SetProfileInitSettings(const SessionProfile& profile, InitSettings* settings) {
  if (profile.reportSendDelayMs)
    settings->Set("ReportSendDelay", std::to_string(profile.reportSendDelayMs).c_str());
  if (!profile.eventDriven) return;
  settings->Set("DispatchOnPost", "1");
  settings->Set("PaintUpdatesAtOnce", "1");
  settings->Set("InputTimerOnDemand", "1");
}

bool ApplySessionProfile(ZKLibrary& zk, const SessionProfile& profile) {
  if (!profile.setsFrequencies) return true;
  return zk.SetPollFrequency(profile.pollIntervalMs, 0, profile.pollBands) &&
         zk.SetUpdateFrequency(profile.updateIntervalMs) &&
         zk.SetInputUpdateFrequency(profile.inputIntervalMs);
}

std::string RunHostCommand(HostSession& session, const std::string& line) {
  CommandWordList words = SplitCommandWords(line);
  if (words.empty()) return ErrorReply("empty command; try help");
  const HostCommand* command = Find(words[0], session);
  if (!command) return ErrorReply("unknown command " + words[0]);
  return command->run(session, CommandWordList(words.begin() + 1, words.end()));
}

std::string HostCommandUsage() {
  std::string text =
      "While present or view runs, commands come one per line on its standard input, or from\n"
      "`zkhost send NAME COMMAND [ARGS...]` (through the pipe \\\\.\\pipe\\zkhost.NAME), which\n"
      "prints the one-line reply (\"ok [detail]\" or \"error: why\") and exits 0 on ok, else 1.\n"
      "Commands:\n";
  for (const HostCommand& command : HostCommands()) {
    std::string signature = Signature(command);
    const char* where = command.roles == kInBoth        ? ""
                        : command.roles == kInPresenter ? "(present) "
                                                        : "(view) ";
    text += "  " + signature + std::string(signature.size() < 26 ? 26 - signature.size() : 1, ' ') +
            where + command.help + "\n";
  }
  return text;
}

bool WaitWhilePumping(double seconds, const std::function<bool()>& done) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return true;
}
