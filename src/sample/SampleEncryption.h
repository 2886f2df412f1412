#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backup/AesCrypto.h"
#include "common/PlistValue.h"

namespace vessamo::sample {

// How a sample backup is encrypted: the password and the rounds of its two
// derivations. The defaults are what iOS uses; tests pass few rounds.
struct SampleEncryptionOptions {
    std::string password;
    uint32_t dataProtectionRounds = 10'000'000;  // PBKDF2-HMAC-SHA256, iOS 10.2 and later
    uint32_t rounds = 10'000;                    // PBKDF2-HMAC-SHA1
    bool dataProtection = true;  // false: an older backup's key bag, SHA-1 step only
};

// The keys of one encrypted sample backup, made fresh and random: class
// keys wrapped into a key bag with the password, and a key per file.
class SampleEncryption {
public:
    static constexpr uint32_t kFileClass = 3;      // until first unlock, as iOS stores most files
    static constexpr uint32_t kManifestClass = 4;  // the catalogue's own key

    // nullopt when the derivation or the random source fails.
    [[nodiscard]] static std::optional<SampleEncryption> make(
        const SampleEncryptionOptions& options);

    [[nodiscard]] const std::string& keyBag() const { return keyBag_; }

    // A fresh key for one file, and the stored form of it: the class as four
    // little-endian bytes, then the key wrapped with the class's key.
    struct FileKey {
        SecretBytes key;
        std::string stored;
    };
    [[nodiscard]] std::optional<FileKey> newFileKey(uint32_t protectionClass) const;

private:
    std::vector<std::pair<uint32_t, SecretBytes>> classKeys_;
    std::string keyBag_;
};

}  // namespace vessamo::sample
