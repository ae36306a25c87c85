#pragma once

#include <memory>
#include <string>

#include "ByteStream.h"
#include "ViewCommandLine.h"

// Joins the session named by --session through the NATS servers of --nats,
// and returns the stream its events follow on. On failure: null, `error`
// says why and `exitCode` is what zkview exits with.
// The stream is a NatsSessionStream: it asks for a full update, takes the
// broadcasts numbered after it, and asks again after a gap.
std::unique_ptr<ByteStream> JoinThroughNats(const ViewCommandLine& line, int* exitCode,
                                            std::string* error);
