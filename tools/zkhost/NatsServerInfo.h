#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// NatsServerInfo: the fields of a NATS server's INFO that the client acts on,
// read from the JSON object the server sends. Everything else is skipped.
// The text is untrusted: every string, the list of addresses and the nesting
// of skipped values are bounded, the scan keeps no stack of its own and
// never recurses, and a number that does not fit fails the whole object.
//
// A plain value, owned by whoever parsed it; no threads of its own.
struct NatsServerInfo {
  std::string serverId;
  int64_t maxPayload = 0;  // 0 when the server announced none
  bool tlsRequired = false;
  bool authRequired = false;
  // Other members of the server's cluster that clients may use, "host:port".
  std::vector<std::string> connectUrls;
};

// Bounds on what an INFO may carry; an object beyond them is refused.
constexpr size_t kNatsInfoMaxString = 1024;
constexpr size_t kNatsInfoMaxUrls = 256;
constexpr int kNatsInfoMaxDepth = 32;

// False when `json` is not one JSON object within the bounds above.
bool ParseNatsServerInfo(std::string_view json, NatsServerInfo* info);
