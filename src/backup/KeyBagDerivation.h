#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "backup/AesCrypto.h"
#include "common/Status.h"

namespace vessamo {

// Told how far a long derivation is, from 0 to 100; false stops it.
using DerivationProgress = std::function<bool(int percent)>;

enum class KeyBagDigest { sha1, sha256 };

// PBKDF2 with HMAC (RFC 8018). Computed here round by round rather than in
// one library call so that a derivation of millions of rounds can say how
// far it is and be stopped. The rounds of all calls sharing one progress
// count towards it through offset and total.
struct DerivationSteps {
    const DerivationProgress* progress = nullptr;
    uint64_t offset = 0;  // rounds done before this call
    uint64_t total = 0;   // rounds of the whole derivation; 0: this call's
};

[[nodiscard]] StatusOr<SecretBytes> pbkdf2(KeyBagDigest digest, std::span<const uint8_t> password,
                                           std::span<const uint8_t> salt, uint32_t iterations,
                                           size_t length, const DerivationSteps& steps = {});

}  // namespace vessamo
