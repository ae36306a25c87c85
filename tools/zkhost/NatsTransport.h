#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "ByteStream.h"

// The TCP connection a NATS client starts from, on whichever socket the
// platform has. The connection attempt itself waits at most until
// `deadline`, and gives up when `cancel` is set: a server that drops
// connection requests would otherwise hold the client (and its owner's
// shutdown) for the system's own time-out of minutes. Resolving the name
// still waits as long as the system's resolver does.
//
// Null, with `error` set, when it could not be made. On Win32 the process
// must have started Winsock (WinsockSession) first. Any thread.
std::unique_ptr<ByteStream> ConnectNatsTransport(const std::string& host, uint16_t port,
                                                 std::chrono::steady_clock::time_point deadline,
                                                 const std::atomic<bool>& cancel, std::string* error);
