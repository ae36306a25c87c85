#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ByteStream.h"

// The TCP connection a NATS client starts from, on whichever socket the
// platform has. Null, with `error` set, when it could not be made. On Win32
// the process must have started Winsock (WinsockSession) first.
std::unique_ptr<ByteStream> ConnectNatsTransport(const std::string& host, uint16_t port, std::string* error);
