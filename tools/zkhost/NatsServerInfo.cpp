#include "NatsServerInfo.h"

#include <cstring>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A cursor over the JSON text. Every Read fails rather than read past the end.
class JsonScanner {
 public:
  explicit JsonScanner(std::string_view text) : text_(text) {}

  void SkipSpace() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
  }
  bool AtEnd() const { return at_ == text_.size(); }
  char Peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  bool Consume(char c) {
    SkipSpace();
    if (Peek() != c) return false;
    ++at_;
    return true;
  }

  // A string of at most `limit` bytes once unescaped; `out` null skips it.
  // Escaped characters beyond ASCII become '?': nothing the client reads
  // needs them, and this keeps the output one byte per escape.
  bool ReadString(std::string* out, size_t limit) {
    if (!Consume('"')) return false;
    if (out) out->clear();
    while (at_ < text_.size()) {
      char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c == '\\' && !ReadEscape(&c)) return false;
      if (out) {
        if (out->size() >= limit) return false;
        out->push_back(c);
      }
    }
    return false;
  }

  // A non-negative integer that fits in 63 bits.
  bool ReadInteger(int64_t* out) {
    SkipSpace();
    size_t start = at_;
    int64_t value = 0;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
      int digit = text_[at_++] - '0';
      if (value > (INT64_MAX - digit) / 10) return false;
      value = value * 10 + digit;
    }
    if (at_ == start || IsNumberPart(Peek())) return false;
    *out = value;
    return true;
  }

  bool ReadBool(bool* out) {
    SkipSpace();
    if (ReadWord("true")) return *out = true, true;
    if (ReadWord("false")) return *out = false, true;
    return false;
  }

  bool ReadStringArray(std::vector<std::string>* out) {
    out->clear();
    if (!Consume('[')) return false;
    if (Consume(']')) return true;
    do {
      if (out->size() >= kNatsInfoMaxUrls) return false;
      out->emplace_back();
      if (!ReadString(&out->back(), kNatsInfoMaxString)) return false;
    } while (Consume(','));
    return Consume(']');
  }

  // Any value, nested ones by counting brackets: the scan needs no stack,
  // and the depth bound refuses a server that nests without end. Brackets
  // are not matched by kind: the value is thrown away, so a mismatch can
  // only cost the server its own INFO being read oddly.
  bool SkipValue() {
    SkipSpace();
    char c = Peek();
    if (c == '"') return ReadString(nullptr, 0);
    if (c != '{' && c != '[') return SkipPrimitive();
    int depth = 0;
    do {
      SkipSpace();
      c = Peek();
      if (c == '"') {
        if (!ReadString(nullptr, 0)) return false;
        continue;
      }
      if (AtEnd()) return false;
      ++at_;
      if (c == '{' || c == '[') {
        if (++depth > kNatsInfoMaxDepth) return false;
      } else if (c == '}' || c == ']') {
        --depth;
      }
    } while (depth > 0);
    return true;
  }

 private:
  static bool IsNumberPart(char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
  }

  bool ReadWord(const char* word) {
    size_t length = std::strlen(word);
    if (text_.substr(at_, length) != word) return false;
    at_ += length;
    return true;
  }

  bool SkipPrimitive() {
    if (ReadWord("true") || ReadWord("false") || ReadWord("null")) return true;
    size_t start = at_;
    while (at_ < text_.size() && IsNumberPart(text_[at_])) ++at_;
    return at_ > start;
  }

  bool ReadEscape(char* c) {
    if (at_ >= text_.size()) return false;
    char e = text_[at_++];
    static const char kFrom[] = "\"\\/bfnrt";
    static const char kTo[] = "\"\\/\b\f\n\r\t";
    if (const char* found = std::strchr(kFrom, e); found && e != '\0') {
      *c = kTo[found - kFrom];
      return true;
    }
    if (e != 'u' || at_ + 4 > text_.size()) return false;
    int code = 0;
    for (int i = 0; i < 4; ++i) {
      int digit = HexValue(text_[at_++]);
      if (digit < 0) return false;
      code = code * 16 + digit;
    }
    *c = code < 0x80 ? static_cast<char>(code) : '?';
    return true;
  }

  std::string_view text_;
  size_t at_ = 0;
};

bool ReadMember(JsonScanner& scanner, const std::string& key, NatsServerInfo* info) {
  if (key == "server_id") return scanner.ReadString(&info->serverId, kNatsInfoMaxString);
  if (key == "max_payload") return scanner.ReadInteger(&info->maxPayload);
  if (key == "tls_required") return scanner.ReadBool(&info->tlsRequired);
  if (key == "auth_required") return scanner.ReadBool(&info->authRequired);
  if (key == "connect_urls") return scanner.ReadStringArray(&info->connectUrls);
  return scanner.SkipValue();
}
}  // namespace

bool ParseNatsServerInfo(std::string_view json, NatsServerInfo* info) {
  *info = NatsServerInfo();
  JsonScanner scanner(json);
  if (!scanner.Consume('{')) return false;
  if (!scanner.Consume('}')) {
    std::string key;
    do {
      if (!scanner.ReadString(&key, kNatsInfoMaxString) || !scanner.Consume(':')) return false;
      if (!ReadMember(scanner, key, info)) return false;
    } while (scanner.Consume(','));
    if (!scanner.Consume('}')) return false;
  }
  scanner.SkipSpace();
  return scanner.AtEnd();
}
