#include "sample/SampleEncryption.h"

#include <openssl/rand.h>

#include "backup/KeyBagDerivation.h"

namespace vessamo::sample {

namespace {

constexpr size_t kKeyBytes = 32;

std::optional<SecretBytes> randomBytes(size_t count) {
    SecretBytes bytes(count);
    if (RAND_bytes(bytes.data(), static_cast<int>(count)) != 1) {
        return std::nullopt;
    }
    return bytes;
}

std::string bigEndian32(uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

void putRecord(std::string& bag, const char* tag, std::string_view value) {
    bag.append(tag, 4);
    bag += bigEndian32(static_cast<uint32_t>(value.size()));
    bag.append(value);
}

std::string textOf(const SecretBytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.view().data()), bytes.size()};
}

}  // namespace

std::optional<SampleEncryption> SampleEncryption::make(const SampleEncryptionOptions& options) {
    auto salt = randomBytes(20);
    auto dataProtectionSalt = randomBytes(20);
    auto uuid = randomBytes(16);
    if (!salt || !dataProtectionSalt || !uuid) {
        return std::nullopt;
    }
    const auto password = bytesOf(options.password);
    StatusOr<SecretBytes> first = SecretBytes(password);
    if (options.dataProtection) {
        first = pbkdf2(KeyBagDigest::sha256, password, dataProtectionSalt->view(),
                       options.dataProtectionRounds, kKeyBytes);
    }
    StatusOr<SecretBytes> passwordKey = first.ok() ? pbkdf2(KeyBagDigest::sha1, first->view(),
                                                            salt->view(), options.rounds, kKeyBytes)
                                                   : StatusOr<SecretBytes>(first.status());
    if (!passwordKey.ok()) {
        return std::nullopt;
    }
    SampleEncryption made;
    std::string& bag = made.keyBag_;
    putRecord(bag, "VERS", bigEndian32(4));
    putRecord(bag, "TYPE", bigEndian32(1));  // a backup's bag
    putRecord(bag, "UUID", textOf(*uuid));
    putRecord(bag, "WRAP", bigEndian32(0));
    putRecord(bag, "SALT", textOf(*salt));
    putRecord(bag, "ITER", bigEndian32(options.rounds));
    if (options.dataProtection) {
        putRecord(bag, "DPWT", bigEndian32(1));
        putRecord(bag, "DPIC", bigEndian32(options.dataProtectionRounds));
        putRecord(bag, "DPSL", textOf(*dataProtectionSalt));
    }
    for (uint32_t protectionClass = 1; protectionClass <= 11; ++protectionClass) {
        auto key = randomBytes(kKeyBytes);
        auto classUuid = randomBytes(16);
        auto wrapped = key ? aesWrap(passwordKey->view(), key->view())
                           : StatusOr<std::string>(Status::invalid("no key"));
        if (!classUuid || !wrapped.ok()) {
            return std::nullopt;
        }
        putRecord(bag, "UUID", textOf(*classUuid));
        putRecord(bag, "CLAS", bigEndian32(protectionClass));
        putRecord(bag, "WRAP", bigEndian32(2));
        putRecord(bag, "KTYP", bigEndian32(0));
        putRecord(bag, "WPKY", *wrapped);
        made.classKeys_.emplace_back(protectionClass, std::move(*key));
    }
    return made;
}

std::optional<SampleEncryption::FileKey> SampleEncryption::newFileKey(
    uint32_t protectionClass) const {
    for (const auto& [number, classKey] : classKeys_) {
        if (number != protectionClass) {
            continue;
        }
        auto key = randomBytes(kKeyBytes);
        auto wrapped = key ? aesWrap(classKey.view(), key->view())
                           : StatusOr<std::string>(Status::invalid("no key"));
        if (!wrapped.ok()) {
            return std::nullopt;
        }
        std::string stored = {static_cast<char>(protectionClass), 0, 0, 0};
        return FileKey{std::move(*key), stored + *wrapped};
    }
    return std::nullopt;
}

}  // namespace vessamo::sample
