#pragma once

#include <string>

#include "HostCommands.h"

// The commands of remote input control: a viewer asks the presenter for
// control and gives it back; the presenter's person answers requests,
// takes control back and sees its viewers. Command thread.

std::string RunControl(HostSession& session, const CommandWordList& arguments);
std::string RunReleaseControl(HostSession& session, const CommandWordList& arguments);
std::string RunAllow(HostSession& session, const CommandWordList& arguments);
std::string RunDeny(HostSession& session, const CommandWordList& arguments);
std::string RunRevoke(HostSession& session, const CommandWordList& arguments);
std::string RunViewers(HostSession& session, const CommandWordList& arguments);
