#pragma once

#include <memory>
#include <string>

#include "ByteStream.h"
#include "ViewCommandLine.h"

// Joins a presenter's host directly (--connect), as zkhost view does: TCP,
// retried while the presenter may still be starting; then TLS to the
// certificate the invitation pins (plain to a bridge port on this machine);
// then the proof of the invitation's join key. Every wait is bounded, so a
// silent or hostile peer costs at most the join's time limit.
//
// Returns the stream the session's events follow on, or null with `error`
// saying why this viewer is not in (unreachable, not the invited presenter,
// refused). Portable; called from the one thread zkview runs on.
std::unique_ptr<ByteStream> JoinPresenterDirectly(const ViewCommandLine& line, std::string* error);
