#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>

#include "backup/KeyBag.h"
#include "common/Status.h"

namespace vessamo {

// What an encrypted backup's Manifest.plist says about its keys: the key
// bag its password opens and, from iOS 10.2 on, the wrapped key of its
// encrypted Manifest.db.
class EncryptedBackup {
public:
    // Whether the folder's Manifest.plist says "IsEncrypted".
    [[nodiscard]] static bool isEncrypted(const std::string& folder);

    // notFound without Manifest.plist, invalid when it is not encrypted,
    // corrupt when it is but its key bag cannot be read.
    [[nodiscard]] static StatusOr<EncryptedBackup> open(const std::string& folder);

    // The derivation takes seconds by design: call it off the interface
    // thread. invalid with kWrongPasswordText for a wrong password.
    [[nodiscard]] StatusOr<std::shared_ptr<const BackupKeys>> unlock(
        std::span<const uint8_t> password, const DerivationProgress& progress = {}) const {
        return keyBag_.unlock(password, progress);
    }

    [[nodiscard]] const KeyBag& keyBag() const { return keyBag_; }
    // Four little-endian bytes of protection class, then the wrapped key.
    [[nodiscard]] const std::optional<std::string>& manifestKey() const { return manifestKey_; }

private:
    KeyBag keyBag_;
    std::optional<std::string> manifestKey_;
};

}  // namespace vessamo
