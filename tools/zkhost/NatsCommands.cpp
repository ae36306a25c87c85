#include "NatsCommands.h"

#include <cstdio>

namespace {

void AppendJsonString(std::string* out, std::string_view text) {
  out->push_back('"');
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(c);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out->append(escaped);
    } else {
      out->push_back(c);
    }
  }
  out->push_back('"');
}

void AppendMember(std::string* out, const char* key, std::string_view value) {
  out->append(",\"").append(key).append("\":");
  AppendJsonString(out, value);
}
}  // namespace

bool IsValidNatsSubject(std::string_view subject) {
  if (subject.empty() || subject.size() > kNatsMaxSubject) return false;
  for (char c : subject)
    if (c <= ' ' || c > '~') return false;
  return true;
}

std::string NatsConnectCommand(const NatsServerAddress& address, std::string_view name, bool tls) {
  std::string command = "CONNECT {\"verbose\":false,\"pedantic\":false,\"headers\":false,\"protocol\":1";
  command.append(",\"tls_required\":").append(tls ? "true" : "false");
  AppendMember(&command, "lang", "cpp");
  AppendMember(&command, "version", "1.0");
  AppendMember(&command, "name", name);
  if (!address.user.empty()) {
    AppendMember(&command, "user", address.user);
    AppendMember(&command, "pass", address.password);
  }
  if (!address.token.empty()) AppendMember(&command, "auth_token", address.token);
  command.append("}\r\n");
  return command;
}

void AppendNatsPub(std::string* out, std::string_view subject, const uint8_t* data, size_t length) {
  out->append("PUB ").append(subject).append(" ").append(std::to_string(length)).append("\r\n");
  if (length > 0) out->append(reinterpret_cast<const char*>(data), length);
  out->append("\r\n");
}

size_t NatsPubSize(std::string_view subject, size_t length) {
  return 4 + subject.size() + 1 + std::to_string(length).size() + 2 + length + 2;
}

std::string NatsSubCommand(std::string_view subject, uint64_t sid) {
  return "SUB " + std::string(subject) + " " + std::to_string(sid) + "\r\n";
}

std::string NatsUnsubCommand(uint64_t sid) { return "UNSUB " + std::to_string(sid) + "\r\n"; }
