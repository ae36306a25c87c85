#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "events/JoinMessages.h"

using JoinNonce = std::array<uint8_t, kJoinNonceSize>;
using JoinProof = std::array<uint8_t, kJoinProofSize>;

// What proves a viewer holds the join key without sending it: HMAC-SHA256
// under the key (normalised, Invitation.h) of a fixed label and the
// presenter's fresh nonce, so that a proof seen once proves nothing later.
// Portable, no state; any thread.
JoinProof ProveJoinKey(const std::string& key, const JoinNonce& nonce);
// Compares in constant time.
bool IsJoinProof(const std::string& key, const JoinNonce& nonce, const uint8_t* proof);
