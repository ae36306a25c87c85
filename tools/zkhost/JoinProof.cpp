#include "JoinProof.h"

#include <mbedtls/md.h>

#include <cstring>
#include <vector>

#include "ConstantTime.h"
#include "Invitation.h"

namespace {
// Ties the proof to this use of the key and to this version of the exchange.
constexpr char kLabel[] = "zkhost join v1";
}  // namespace

JoinProof ProveJoinKey(const std::string& key, const JoinNonce& nonce) {
  const std::string normalised = NormalisedJoinKey(key);
  std::vector<uint8_t> message(kLabel, kLabel + sizeof kLabel - 1);
  message.insert(message.end(), nonce.begin(), nonce.end());
  JoinProof proof = {};
  mbedtls_md_hmac(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256),
                  reinterpret_cast<const unsigned char*>(normalised.data()), normalised.size(),
                  message.data(), message.size(), proof.data());
  return proof;
}

bool IsJoinProof(const std::string& key, const JoinNonce& nonce, const uint8_t* proof) {
  const JoinProof expected = ProveJoinKey(key, nonce);
  return EqualInConstantTime(expected.data(), proof, expected.size());
}
