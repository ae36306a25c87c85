#include "NatsUrl.h"

namespace {

constexpr size_t kMaxHost = 253;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool PercentDecode(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out->push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return false;
    int high = HexValue(text[i + 1]);
    int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out->push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return true;
}

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
         c == '_';
}

bool ParsePort(std::string_view text, uint16_t* port) {
  if (text.empty() || text.size() > 5) return false;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}

bool ParseHostAndPort(std::string_view text, NatsServerAddress* address) {
  size_t colon = text.rfind(':');
  std::string_view host = colon == std::string_view::npos ? text : text.substr(0, colon);
  if (colon != std::string_view::npos && !ParsePort(text.substr(colon + 1), &address->port)) return false;
  if (host.empty() || host.size() > kMaxHost) return false;
  for (char c : host)
    if (!IsHostChar(c)) return false;
  address->host.assign(host);
  return true;
}

bool ParseCredentials(std::string_view text, NatsServerAddress* address) {
  size_t colon = text.find(':');
  if (colon == std::string_view::npos) return PercentDecode(text, &address->token) && !address->token.empty();
  return PercentDecode(text.substr(0, colon), &address->user) &&
         PercentDecode(text.substr(colon + 1), &address->password) && !address->user.empty();
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}
}  // namespace

std::string NatsServerAddress::Describe() const {
  return std::string(tls ? "tls://" : "nats://") + host + ":" + std::to_string(port);
}

bool ParseNatsUrl(std::string_view text, NatsServerAddress* address, std::string* error) {
  *address = NatsServerAddress();
  std::string_view rest = Trim(text);
  if (rest.substr(0, 7) == "nats://") {
    rest.remove_prefix(7);
  } else if (rest.substr(0, 6) == "tls://") {
    address->tls = true;
    rest.remove_prefix(6);
  } else {
    *error = "a NATS address must start with nats:// or tls://";
    return false;
  }
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  size_t at = rest.rfind('@');
  if (at != std::string_view::npos && !ParseCredentials(rest.substr(0, at), address)) {
    *error = "malformed credentials in a NATS address";
    return false;
  }
  if (!ParseHostAndPort(at == std::string_view::npos ? rest : rest.substr(at + 1), address)) {
    *error = "a NATS address needs host[:port] with a port from 1 to 65535";
    return false;
  }
  return true;
}

bool ParseNatsUrlList(std::string_view text, std::vector<NatsServerAddress>* addresses, std::string* error) {
  addresses->clear();
  for (;;) {
    size_t comma = text.find(',');
    NatsServerAddress address;
    if (!ParseNatsUrl(text.substr(0, comma), &address, error)) {
      // The entry itself may hold a password: its place is named instead.
      *error += " (entry " + std::to_string(addresses->size() + 1) + ")";
      return false;
    }
    addresses->push_back(address);
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

bool ParseNatsAnnouncedUrl(std::string_view hostPort, const NatsServerAddress& like, NatsServerAddress* address) {
  *address = like;
  return hostPort.find('@') == std::string_view::npos && ParseHostAndPort(hostPort, address);
}
