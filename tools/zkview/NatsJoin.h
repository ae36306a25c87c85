#pragma once

#include <memory>
#include <string>

#include "ByteStream.h"
#include "ViewCommandLine.h"

// Joins the session named by --session through the NATS servers of --nats,
// and returns the stream its events follow on. On failure: null, `error`
// says why and `exitCode` is what zkview exits with.
//
// This build has no NATS client: NatsJoin_unavailable.cpp refuses every
// such join (exit code 2). A build with the client links its own
// definition in place of that file; nothing else changes.
std::unique_ptr<ByteStream> JoinThroughNats(const ViewCommandLine& line, int* exitCode,
                                            std::string* error);
