#include "NatsParser.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kReceiveReserve = 64 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Operation names are case-insensitive.
bool SameWord(std::string_view word, const char* upper) {
  size_t length = std::strlen(upper);
  if (word.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Splits at runs of blanks; false when there are more than `capacity` fields.
bool SplitFields(std::string_view text, std::string_view* fields, size_t capacity, size_t* count) {
  *count = 0;
  text = TrimBlanks(text);
  while (!text.empty()) {
    if (*count == capacity) return false;
    size_t end = 0;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    fields[(*count)++] = text.substr(0, end);
    text = TrimBlanks(text.substr(end));
  }
  return true;
}

bool ReadDecimal(std::string_view text, uint64_t limit, uint64_t* out) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (limit - digit) / 10) return false;
    value = value * 10 + digit;
  }
  *out = value;
  return true;
}
}  // namespace

bool NatsParser::Feed(const uint8_t* data, size_t length) {
  while (length > 0 && !Failed()) {
    size_t used = 0;
    switch (state_) {
      case State::kLine: used = FeedLine(data, length); break;
      case State::kPayload: used = FeedPayload(data, length); break;
      case State::kPayloadEnd: used = FeedPayloadEnd(data, length); break;
    }
    data += used;
    length -= used;
  }
  return !Failed();
}

size_t NatsParser::FeedLine(const uint8_t* data, size_t length) {
  const void* newline = std::memchr(data, '\n', length);
  size_t take = newline ? static_cast<size_t>(static_cast<const uint8_t*>(newline) - data) + 1 : length;
  // Never hold more than one byte past the largest line allowed.
  size_t room = kMaxInfoLine + 1 - line_.size();
  line_.append(reinterpret_cast<const char*>(data), std::min(take, room));
  if (LineTooLong()) {
    Fail("a control line longer than allowed");
  } else if (newline) {
    ReadLine();
    line_.clear();
  }
  return take;
}

bool NatsParser::LineTooLong() const {
  size_t content = line_.size() - (!line_.empty() && line_.back() == '\n' ? 1 : 0);
  bool info = line_.size() >= 4 && SameWord(std::string_view(line_).substr(0, 4), "INFO");
  return content > (info ? kMaxInfoLine : kMaxLine);
}

void NatsParser::ReadLine() {
  std::string_view line(line_);
  if (line.size() < 2 || line[line.size() - 2] != '\r') return Fail("a control line not ended by CR LF");
  line.remove_suffix(2);
  size_t opEnd = 0;
  while (opEnd < line.size() && !IsBlank(line[opEnd])) ++opEnd;
  std::string_view op = line.substr(0, opEnd);
  std::string_view arguments = line.substr(opEnd);
  if (SameWord(op, "MSG")) return ReadMessage(arguments);
  if (SameWord(op, "INFO")) return ReadInfo(arguments);
  bool bare = TrimBlanks(arguments).empty();
  if (SameWord(op, "PING") && bare) return sink_.OnPing();
  if (SameWord(op, "PONG") && bare) return sink_.OnPong();
  if (SameWord(op, "+OK") && bare) return;
  if (SameWord(op, "-ERR")) {
    std::string_view text = TrimBlanks(arguments);
    if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') text = text.substr(1, text.size() - 2);
    return sink_.OnServerError(text);
  }
  Fail("an unknown or malformed operation");
}

void NatsParser::ReadInfo(std::string_view arguments) {
  NatsServerInfo info;
  if (!ParseNatsServerInfo(TrimBlanks(arguments), &info)) return Fail("an INFO that is not a valid object");
  payloadLimit_ = PayloadLimitFor(info);
  sink_.OnInfo(info);
}

size_t NatsParser::PayloadLimitFor(const NatsServerInfo& info) {
  if (info.maxPayload <= 0) return kDefaultMaxPayload;
  return static_cast<size_t>(std::min<int64_t>(info.maxPayload, kPayloadCap));
}

void NatsParser::ReadMessage(std::string_view arguments) {
  std::string_view fields[4];
  size_t count = 0;
  if (!SplitFields(arguments, fields, 4, &count) || count < 3) return Fail("a MSG line with wrong fields");
  uint64_t length = 0;
  if (!ReadDecimal(fields[count - 1], UINT64_MAX, &length)) return Fail("a MSG with a malformed size");
  if (length > payloadLimit_) return Fail("a MSG larger than the server's own limit");
  if (!ReadDecimal(fields[1], UINT64_MAX, &sid_)) return Fail("a MSG with a malformed subscription id");
  subject_.assign(fields[0]);
  replyTo_.assign(count == 4 ? fields[2] : std::string_view());
  payloadLength_ = static_cast<size_t>(length);
  // Grown as the bytes come, not at the size the line claims: a server
  // that announces a large payload and sends none costs us nothing.
  payload_.clear();
  payload_.reserve(std::min<size_t>(payloadLength_, kReceiveReserve));
  state_ = State::kPayload;
}

size_t NatsParser::FeedPayload(const uint8_t* data, size_t length) {
  size_t take = std::min(length, payloadLength_ - payload_.size());
  payload_.insert(payload_.end(), data, data + take);
  if (payload_.size() == payloadLength_) {
    endSeen_ = 0;
    state_ = State::kPayloadEnd;
  }
  return take;
}

size_t NatsParser::FeedPayloadEnd(const uint8_t* data, size_t length) {
  static const uint8_t kEnd[2] = {'\r', '\n'};
  size_t used = 0;
  while (used < length && endSeen_ < 2) {
    if (data[used++] != kEnd[endSeen_++]) {
      Fail("a MSG payload not followed by CR LF");
      return used;
    }
  }
  if (endSeen_ == 2) {
    state_ = State::kLine;
    sink_.OnMessage({subject_, replyTo_, sid_, payload_.data(), payload_.size()});
  }
  return used;
}

void NatsParser::Fail(std::string why) { error_ = "the server broke the protocol: " + why; }
