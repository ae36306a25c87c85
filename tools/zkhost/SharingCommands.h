#pragma once

#include <string>

#include "HostCommands.h"

// The presenter's commands for application sharing: share a window of
// another program by its title, unshare one, or let the presenter click the
// window to share. Each asks the library through ZK_ClickToShare and waits
// for the ZKP_SHAREDWINDOW report that answers it, so that its reply says
// what happened. Command thread.

std::string RunShare(HostSession& session, const CommandWordList& arguments);
std::string RunUnshare(HostSession& session, const CommandWordList& arguments);
std::string RunClickToShare(HostSession& session, const CommandWordList& arguments);
