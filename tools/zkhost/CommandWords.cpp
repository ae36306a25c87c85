#include "CommandWords.h"

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool NeedsQuotes(const std::string& word) {
  if (word.empty()) return true;
  for (char c : word) {
    if (IsBlank(c) || c == '"' || c == '\\') return true;
  }
  return false;
}
}  // namespace

std::vector<std::string> SplitCommandWords(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    if (IsBlank(line[i])) {
      ++i;
      continue;
    }
    std::string word;
    bool quoted = false;
    for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
      char c = line[i];
      if (c == '"') {
        quoted = !quoted;
      } else if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
        word += line[++i];
      } else {
        word += c;
      }
    }
    words.push_back(word);
  }
  return words;
}

std::string JoinCommandWords(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words) {
    if (!line.empty()) line += ' ';
    if (!NeedsQuotes(word)) {
      line += word;
      continue;
    }
    line += '"';
    for (char c : word) {
      if (c == '"' || c == '\\') line += '\\';
      // A reply or request is one line, whatever a window title holds.
      line += (c == '\r' || c == '\n') ? ' ' : c;
    }
    line += '"';
  }
  return line;
}

std::string OkReply(const std::string& detail) { return detail.empty() ? "ok" : "ok " + detail; }

std::string ErrorReply(const std::string& why) { return "error: " + why; }

bool IsOkReply(const std::string& reply) {
  return reply.compare(0, 2, "ok") == 0 && (reply.size() == 2 || reply[2] == ' ');
}
