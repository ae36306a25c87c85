#include "ControlCommands.h"

#include <cstdlib>

#include "CommandWords.h"
#include "ViewerHost.h"

namespace {
// The presenter answers on its next turn; this only bounds a wait for one
// that has stopped.
constexpr double kGrantSeconds = 10;
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
  if (!session.viewer->RequestControl(seconds, &token))
    return ErrorReply("the presenter granted no control");
  return OkReply("control with token " + std::to_string(token));
}

std::string RunReleaseControl(HostSession& session, const CommandWordList& arguments) {
  if (!arguments.empty()) return ErrorReply("release-control takes no arguments");
  if (!session.viewer->ReleaseControl()) return ErrorReply("this viewer has no control");
  return OkReply("control given back");
}
