#include "backup/KeyBag.h"

#include <string_view>

namespace vessamo {

namespace {

constexpr uint32_t kWrapPasscode = 2;
constexpr size_t kKeyBytes = 32;

uint32_t bigEndian32(std::string_view bytes) {
    uint32_t value = 0;
    for (char c : bytes.substr(0, 4)) {
        value = (value << 8) | static_cast<uint8_t>(c);
    }
    return value;
}

struct Record {
    std::string_view tag;
    std::string_view value;
};

StatusOr<std::vector<Record>> recordsOf(std::string_view bytes) {
    std::vector<Record> records;
    size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 8) {
            return Status::corrupt("the backup's key bag ends inside a record");
        }
        const uint32_t length = bigEndian32(bytes.substr(at + 4, 4));
        if (length > bytes.size() - at - 8) {
            return Status::corrupt("a record of the backup's key bag runs past its end");
        }
        records.push_back(Record{bytes.substr(at, 4), bytes.substr(at + 8, length)});
        at += 8 + size_t{length};
    }
    return records;
}

}  // namespace

StatusOr<SecretBytes> BackupKeys::unwrapFileKey(std::span<const uint8_t> stored) const {
    if (stored.size() < 4 + 24) {
        return Status::corrupt("its file key is too short");
    }
    const uint32_t protectionClass = uint32_t{stored[0]} | (uint32_t{stored[1]} << 8) |
                                     (uint32_t{stored[2]} << 16) | (uint32_t{stored[3]} << 24);
    return unwrapFileKey(protectionClass, stored.subspan(4));
}

StatusOr<SecretBytes> BackupKeys::unwrapFileKey(uint32_t protectionClass,
                                                std::span<const uint8_t> wrapped) const {
    const auto classKey = classKeys_.find(protectionClass);
    if (classKey == classKeys_.end()) {
        return Status::corrupt("its file key names protection class " +
                               std::to_string(protectionClass) + ", which the key bag lacks");
    }
    StatusOr<SecretBytes> key = aesUnwrap(classKey->second.view(), wrapped);
    if (!key.ok() || key->size() != kKeyBytes) {
        return Status::corrupt("its file key fails its integrity check");
    }
    return key;
}

StatusOr<KeyBag> KeyBag::parse(std::span<const uint8_t> bytes) {
    auto records =
        recordsOf(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (!records.ok()) {
        return records.status();
    }
    KeyBag bag;
    bool inHeader = true;
    bool headerUuidSeen = false;  // the bag's own; every later one starts a class key
    for (const Record& record : *records) {
        if (record.tag == "UUID" && headerUuidSeen) {
            inHeader = false;
            bag.classKeys_.emplace_back();
            continue;
        }
        headerUuidSeen = headerUuidSeen || record.tag == "UUID";
        if (inHeader) {
            bag.readHeaderRecord(record.tag, record.value);
            continue;
        }
        ClassKey& key = bag.classKeys_.back();
        if (record.tag == "CLAS") {
            key.protectionClass = bigEndian32(record.value);
        } else if (record.tag == "WRAP") {
            key.wrap = bigEndian32(record.value);
        } else if (record.tag == "WPKY") {
            key.wrappedKey = record.value;
        }
    }
    if (bag.salt_.empty() || bag.iterations_ == 0 || (bag.dpsl_ && bag.dpic_.value_or(0) == 0)) {
        return Status::corrupt("the backup's key bag lacks the salt or rounds of its password");
    }
    return bag;
}

void KeyBag::readHeaderRecord(std::string_view tag, std::string_view value) {
    if (tag == "SALT") {
        salt_ = value;
    } else if (tag == "ITER") {
        iterations_ = bigEndian32(value);
    } else if (tag == "DPSL") {
        dpsl_ = std::string(value);
    } else if (tag == "DPIC") {
        dpic_ = bigEndian32(value);
    }
}

StatusOr<SecretBytes> KeyBag::passwordKey(std::span<const uint8_t> password,
                                          const DerivationProgress& progress) const {
    // A 32-byte key is one SHA-256 block but two SHA-1 blocks, each of all the rounds.
    const uint64_t total = 2 * uint64_t{iterations_} + (dpsl_ ? uint64_t{*dpic_} : 0);
    DerivationSteps steps{&progress, 0, total};
    SecretBytes first;
    if (dpsl_) {
        auto derived =
            pbkdf2(KeyBagDigest::sha256, password, bytesOf(*dpsl_), *dpic_, kKeyBytes, steps);
        if (!derived.ok()) {
            return derived.status();
        }
        first = std::move(*derived);
        steps.offset = *dpic_;
    }
    return pbkdf2(KeyBagDigest::sha1, dpsl_ ? first.view() : password, bytesOf(salt_), iterations_,
                  kKeyBytes, steps);
}

StatusOr<std::shared_ptr<const BackupKeys>> KeyBag::unlock(
    std::span<const uint8_t> password, const DerivationProgress& progress) const {
    StatusOr<SecretBytes> key = passwordKey(password, progress);
    if (!key.ok()) {
        return key.status();
    }
    std::map<uint32_t, SecretBytes> unwrapped;
    for (const ClassKey& classKey : classKeys_) {
        if ((classKey.wrap & kWrapPasscode) == 0 || classKey.wrappedKey.empty()) {
            continue;  // kept by the device alone; no backup file uses it
        }
        StatusOr<SecretBytes> opened = aesUnwrap(key->view(), bytesOf(classKey.wrappedKey));
        if (!opened.ok()) {
            return Status::invalid(kWrongPasswordText);
        }
        unwrapped.emplace(classKey.protectionClass, std::move(*opened));
    }
    if (unwrapped.empty()) {
        return Status::corrupt("the backup's key bag holds no key its password opens");
    }
    return std::make_shared<const BackupKeys>(std::move(unwrapped));
}

}  // namespace vessamo
