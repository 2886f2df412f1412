#include "backup/EncryptedBackup.h"

#include "common/Files.h"
#include "common/PlistValue.h"

namespace vessamo {

namespace {

constexpr uint64_t kManifestPlistLimit = 64u << 20;

std::optional<PlistValue> manifestPlistOf(const std::string& folder) {
    StatusOr<std::string> bytes = readWholeFile(folder + "/Manifest.plist", kManifestPlistLimit);
    if (!bytes.ok()) {
        return std::nullopt;
    }
    return PlistValue::fromBytes(bytesOf(*bytes));
}

std::optional<std::string> dataFor(const PlistValue& plist, std::string_view key) {
    const PlistValue* value = plist.find(key);
    const PlistValue::Bytes* data = value != nullptr ? value->asData() : nullptr;
    if (data == nullptr) {
        return std::nullopt;
    }
    return std::string(data->begin(), data->end());
}

}  // namespace

bool EncryptedBackup::isEncrypted(const std::string& folder) {
    const std::optional<PlistValue> plist = manifestPlistOf(folder);
    const PlistValue* flag = plist ? plist->find("IsEncrypted") : nullptr;
    return flag != nullptr && flag->asBoolean().value_or(false);
}

StatusOr<EncryptedBackup> EncryptedBackup::open(const std::string& folder) {
    const std::string path = folder + "/Manifest.plist";
    const std::optional<PlistValue> plist = manifestPlistOf(folder);
    if (!plist) {
        return Status::notFound(path + " is missing or no property list");
    }
    const PlistValue* flag = plist->find("IsEncrypted");
    if (flag == nullptr || !flag->asBoolean().value_or(false)) {
        return Status::invalid(folder + " is not an encrypted backup");
    }
    const std::optional<std::string> bag = dataFor(*plist, "BackupKeyBag");
    if (!bag) {
        return Status::corrupt(path + " is damaged: it holds no key bag");
    }
    StatusOr<KeyBag> parsed = KeyBag::parse(bytesOf(*bag));
    if (!parsed.ok()) {
        return Status::corrupt(path + " is damaged: " + parsed.status().message());
    }
    EncryptedBackup backup;
    backup.keyBag_ = std::move(*parsed);
    backup.manifestKey_ = dataFor(*plist, "ManifestKey");
    return backup;
}

}  // namespace vessamo
