#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "NatsUrl.h"

// NatsCommands: the client-to-server side of the NATS protocol, the lines a
// client writes. Subjects are checked before they are written, since a
// subject with a blank or a line break in it would let a caller's text
// become commands of its own.
//
// Free functions; no state, any thread.

// The longest subject the client writes; a server would take longer ones.
constexpr size_t kNatsMaxSubject = 1024;

// Printable ASCII without blanks, non-empty, at most kNatsMaxSubject bytes.
bool IsValidNatsSubject(std::string_view subject);

// CONNECT with the address's credentials: no +OK for every command
// (verbose), no extra checks (pedantic), no headers; `tls` tells the server
// that the client has upgraded.
std::string NatsConnectCommand(const NatsServerAddress& address, std::string_view name, bool tls);
void AppendNatsPub(std::string* out, std::string_view subject, const uint8_t* data, size_t length);
// The bytes AppendNatsPub adds for a payload of `length`.
size_t NatsPubSize(std::string_view subject, size_t length);
std::string NatsSubCommand(std::string_view subject, uint64_t sid);
std::string NatsUnsubCommand(uint64_t sid);

inline constexpr std::string_view kNatsPing = "PING\r\n";
inline constexpr std::string_view kNatsPong = "PONG\r\n";
