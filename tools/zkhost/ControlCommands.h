#pragma once

#include <string>

#include "HostCommands.h"

// The viewer's commands for remote input control: take control from the
// presenter's token service, and give it back. Command thread.

std::string RunControl(HostSession& session, const CommandWordList& arguments);
std::string RunReleaseControl(HostSession& session, const CommandWordList& arguments);
