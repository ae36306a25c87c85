#include "ControlCommands.h"

#include <cstdlib>

#include "CommandWords.h"
#include "PresenterHost.h"
#include "ViewerHost.h"

namespace {
// The presenter's person may be asked first: a minute to answer.
constexpr double kGrantSeconds = 60;

// The viewer number of an answer to a request; false when it is not one.
bool ParseViewer(const CommandWordList& arguments, uint32_t* viewer) {
  if (arguments.size() != 1) return false;
  char* end = nullptr;
  unsigned long value = std::strtoul(arguments[0].c_str(), &end, 10);
  if (!end || *end != '\0' || value == 0 || value > 0xFFFFFFFFul) return false;
  *viewer = static_cast<uint32_t>(value);
  return true;
}
}  // namespace

std::string RunControl(HostSession& session, const CommandWordList& arguments) {
  double seconds = kGrantSeconds;
  if (arguments.size() > 1) return ErrorReply("usage: control [SECONDS]");
  if (arguments.size() == 1) {
    char* end = nullptr;
    seconds = std::strtod(arguments[0].c_str(), &end);
    if (!end || *end != '\0' || seconds <= 0)
      return ErrorReply("not a number of seconds: " + arguments[0]);
  }
  uint32_t token = 0;
  switch (session.viewer->RequestControl(seconds, &token)) {
    case ViewerHost::ControlAnswer::kGranted:
      return OkReply("control with token " + std::to_string(token));
    case ViewerHost::ControlAnswer::kDenied:
      return ErrorReply("the presenter denied control");
    case ViewerHost::ControlAnswer::kNoAnswer:
      return ErrorReply("the presenter granted no control in time");
    case ViewerHost::ControlAnswer::kFailed:
      break;
  }
  return ErrorReply("the request could not be sent");
}

std::string RunReleaseControl(HostSession& session, const CommandWordList& arguments) {
  if (!arguments.empty()) return ErrorReply("release-control takes no arguments");
  if (!session.viewer->ReleaseControl()) return ErrorReply("this viewer has no control");
  return OkReply("control given back");
}

std::string RunAllow(HostSession& session, const CommandWordList& arguments) {
  uint32_t viewer = 0;
  if (!ParseViewer(arguments, &viewer)) return ErrorReply("usage: allow VIEWER");
  if (!session.viewers->AllowControl(viewer))
    return ErrorReply("viewer " + arguments[0] + " does not ask for control");
  return OkReply("viewer " + arguments[0] + " has control");
}

std::string RunDeny(HostSession& session, const CommandWordList& arguments) {
  uint32_t viewer = 0;
  if (!ParseViewer(arguments, &viewer)) return ErrorReply("usage: deny VIEWER");
  if (!session.viewers->DenyControl(viewer))
    return ErrorReply("viewer " + arguments[0] + " does not ask for control");
  return OkReply("viewer " + arguments[0] + " was denied control");
}

std::string RunRevoke(HostSession& session, const CommandWordList& arguments) {
  if (!arguments.empty()) return ErrorReply("revoke takes no arguments");
  uint32_t holder = session.viewers->RevokeControl();
  if (holder == 0) return ErrorReply("no viewer has control");
  return OkReply("control taken back from viewer " + std::to_string(holder));
}

std::string RunViewers(HostSession& session, const CommandWordList& arguments) {
  if (!arguments.empty()) return ErrorReply("viewers takes no arguments");
  std::string list;
  for (const ViewerInfo& viewer : session.viewers->Viewers()) {
    list += (list.empty() ? "" : "; ") + std::to_string(viewer.id) + " (" + viewer.name + ") from " +
            viewer.address;
    if (viewer.holdsControl) list += ", has control";
    if (viewer.asksForControl) list += ", asks for control";
  }
  return OkReply(list.empty() ? "no viewers" : list);
}
