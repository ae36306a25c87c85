#include "Invitation.h"

#include <cctype>

#include "SystemRandom.h"

namespace {
constexpr char kBase32[] = "abcdefghijklmnopqrstuvwxyz234567";
constexpr size_t kMinKey = 8, kMaxKey = 64;
constexpr size_t kRandomKeyBytes = 16;
// 32 bytes in 5-bit digits.
constexpr size_t kFingerprintDigits = (sizeof(CertificateFingerprint) * 8 + 4) / 5;

std::string ToBase32(const uint8_t* bytes, size_t length) {
  std::string text;
  uint32_t bits = 0;
  int held = 0;
  for (size_t i = 0; i < length; ++i) {
    bits = bits << 8 | bytes[i];
    for (held += 8; held >= 5; held -= 5) text += kBase32[(bits >> (held - 5)) & 31];
  }
  if (held > 0) text += kBase32[(bits << (5 - held)) & 31];
  return text;
}

int Base32Digit(char c) {
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'z') return c - 'a';
  if (c >= '2' && c <= '7') return c - '2' + 26;
  return -1;
}

// Exactly `length` bytes; the bits left over must be zero, so that each
// byte string has one spelling.
bool FromBase32(const std::string& text, uint8_t* bytes, size_t length) {
  if (text.size() != (length * 8 + 4) / 5) return false;
  uint32_t bits = 0;
  int held = 0;
  size_t filled = 0;
  for (char c : text) {
    int digit = Base32Digit(c);
    if (digit < 0) return false;
    bits = bits << 5 | static_cast<uint32_t>(digit);
    if ((held += 5) >= 8) {
      held -= 8;
      bytes[filled++] = static_cast<uint8_t>(bits >> held);
    }
  }
  return filled == length && (bits & ((1u << held) - 1)) == 0;
}

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}
}  // namespace

bool MakeJoinKey(std::string* key) {
  uint8_t bytes[kRandomKeyBytes];
  if (!FillSystemRandom(bytes, sizeof bytes)) return false;
  *key = ToBase32(bytes, sizeof bytes);
  return true;
}

bool IsValidJoinKey(const std::string& key) {
  if (key.size() < kMinKey || key.size() > kMaxKey) return false;
  for (char c : key)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

std::string NormalisedJoinKey(const std::string& key) {
  std::string normalised = key;
  for (char& c : normalised) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return normalised;
}

std::string FormatInvitation(const Invitation& invitation) {
  return invitation.key + "-" +
         ToBase32(invitation.fingerprint.data(), invitation.fingerprint.size());
}

bool ParseInvitation(const std::string& text, Invitation* out) {
  const std::string code = Trimmed(text);
  const size_t dash = code.rfind('-');
  if (dash == std::string::npos || code.size() - dash - 1 != kFingerprintDigits) return false;
  Invitation invitation;
  invitation.key = code.substr(0, dash);
  if (!IsValidJoinKey(invitation.key) ||
      !FromBase32(code.substr(dash + 1), invitation.fingerprint.data(),
                  invitation.fingerprint.size()))
    return false;
  *out = invitation;
  return true;
}
