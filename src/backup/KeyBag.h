#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "backup/AesCrypto.h"
#include "backup/KeyBagDerivation.h"
#include "common/Status.h"

namespace vessamo {

// The class keys of an encrypted backup once its password has opened them:
// immutable, shared by the threads of one scan, wiped when the last holder
// lets go.
class BackupKeys {
public:
    explicit BackupKeys(std::map<uint32_t, SecretBytes> classKeys)
        : classKeys_(std::move(classKeys)) {}

    // A file's own key from its stored form: the protection class as four
    // little-endian bytes, then the key wrapped with that class's key.
    // corrupt when the class is unknown or the key fails its check.
    [[nodiscard]] StatusOr<SecretBytes> unwrapFileKey(std::span<const uint8_t> stored) const;
    [[nodiscard]] StatusOr<SecretBytes> unwrapFileKey(uint32_t protectionClass,
                                                      std::span<const uint8_t> wrapped) const;
    [[nodiscard]] size_t classCount() const { return classKeys_.size(); }

private:
    std::map<uint32_t, SecretBytes> classKeys_;
};

// The BackupKeyBag of Manifest.plist: a run of records of a four-letter
// tag, a big-endian length and a value. The header says how the password
// becomes the key that unwraps the class keys; each class key starts at a
// "UUID" record after the header's own.
class KeyBag {
public:
    struct ClassKey {
        uint32_t protectionClass = 0;
        uint32_t wrap = 0;  // 2: wrapped with the password's key
        std::string wrappedKey;
    };

    // corrupt when the records run past the end or the header lacks the
    // salt or rounds.
    [[nodiscard]] static StatusOr<KeyBag> parse(std::span<const uint8_t> bytes);

    // Derives the password's key and unwraps every class key with it:
    // iOS 10.2 and later ("DPSL"/"DPIC") first run PBKDF2-HMAC-SHA256 over
    // the password, then PBKDF2-HMAC-SHA1 ("SALT"/"ITER") over the result.
    // invalid "wrong password" when a class key fails its integrity check;
    // cancelled when progress said stop.
    [[nodiscard]] StatusOr<std::shared_ptr<const BackupKeys>> unlock(
        std::span<const uint8_t> password, const DerivationProgress& progress = {}) const;

    [[nodiscard]] const std::vector<ClassKey>& classKeys() const { return classKeys_; }
    [[nodiscard]] uint32_t iterations() const { return iterations_; }
    [[nodiscard]] std::optional<uint32_t> dataProtectionIterations() const { return dpic_; }

private:
    void readHeaderRecord(std::string_view tag, std::string_view value);
    [[nodiscard]] StatusOr<SecretBytes> passwordKey(std::span<const uint8_t> password,
                                                    const DerivationProgress& progress) const;

    std::string salt_;
    uint32_t iterations_ = 0;
    std::optional<std::string> dpsl_;
    std::optional<uint32_t> dpic_;
    std::vector<ClassKey> classKeys_;
};

// Text of the failure a wrong password gives, for front ends to match on.
inline constexpr const char* kWrongPasswordText =
    "The password is not the one this backup was encrypted with.";

}  // namespace vessamo
