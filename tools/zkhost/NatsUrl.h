#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// NatsServerAddress: one server a NATS client may connect to, with the
// credentials it presents there. Parsed from what the user typed
// (`nats://[user:pass@|token@]host[:port]`, or `tls://` for TLS, several
// separated by commas) or from the addresses a server announces ("host:port"),
// which take their scheme and credentials from a configured address, since a
// cluster's members share their users. Percent escapes in credentials are
// decoded, so that ':' and '@' can be in a password. IPv6 literals are not
// supported.
//
// Plain values; no threads of their own.
struct NatsServerAddress {
  bool tls = false;
  std::string host;
  uint16_t port = 4222;
  std::string user;
  std::string password;
  std::string token;

  // "nats://host:port", without credentials: for logs and reports.
  std::string Describe() const;
  bool SameServer(const NatsServerAddress& other) const { return host == other.host && port == other.port; }
};

bool ParseNatsUrl(std::string_view text, NatsServerAddress* address, std::string* error);
// False, with the first bad entry in `error`, unless every entry parses.
bool ParseNatsUrlList(std::string_view text, std::vector<NatsServerAddress>* addresses, std::string* error);
bool ParseNatsAnnouncedUrl(std::string_view hostPort, const NatsServerAddress& like, NatsServerAddress* address);
