#pragma once

#include <string>

#include "TlsIdentity.h"

// An invitation to a presenter's session: the join key, which proves a
// viewer was invited, and the fingerprint of the presenter's certificate,
// which proves to the viewer that it reached the presenter. As text it is
// the key, a dash and the fingerprint in base32 (letters and digits only),
// one word a presenter pastes into a message:
//
//   k3v7p2mq9x4hd6tw8rjcn5bfya-<52 characters of fingerprint>
//
// Keys are letters and digits, 8 to 64 of them, read without regard to case
// (a key read out loud loses its case). Portable, no state.
struct Invitation {
  std::string key;
  CertificateFingerprint fingerprint = {};
};

// A fresh key of 128 random bits from the system's source (26 characters);
// false when that source failed.
bool MakeJoinKey(std::string* key);
bool IsValidJoinKey(const std::string& key);
// The key as both sides use it.
std::string NormalisedJoinKey(const std::string& key);

std::string FormatInvitation(const Invitation& invitation);
// False for text that is not an invitation; surrounding blanks are ignored.
bool ParseInvitation(const std::string& text, Invitation* out);
