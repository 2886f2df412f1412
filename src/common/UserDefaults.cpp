#include "common/UserDefaults.h"

#include <filesystem>

#include "common/Files.h"
#include "common/PlistValue.h"
#include "common/UserPaths.h"

namespace vessamo {

UserDefaults::UserDefaults(std::string path) : path_(std::move(path)) {
    load();
}

std::string UserDefaults::defaultPath() {
    return UserPaths::userFolder() + "/.config/vessamo/defaults.plist";
}

void UserDefaults::load() {
    if (path_.empty()) {
        return;
    }
    auto stored = PlistValue::fromFile(path_);
    const PlistValue::Dictionary* entries = stored ? stored->asDictionary() : nullptr;
    if (entries == nullptr) {
        return;
    }
    for (const auto& [key, value] : *entries) {
        if (auto flag = value.asBoolean()) {
            values_[key] = *flag;
        }
    }
}

bool UserDefaults::boolForKey(const std::string& key, bool fallback) const {
    std::lock_guard lock(mutex_);
    auto found = values_.find(key);
    return found != values_.end() ? found->second : fallback;
}

bool UserDefaults::setBool(const std::string& key, bool value) {
    std::lock_guard lock(mutex_);
    values_[key] = value;
    if (path_.empty()) {
        return true;
    }
    PlistValue::Dictionary entries;
    for (const auto& [name, flag] : values_) {
        entries[name] = PlistValue::boolean(flag);
    }
    const std::string folder = std::filesystem::path(path_).parent_path().string();
    if (!folder.empty() && !makeFolders(folder).ok()) {
        return false;
    }
    return PlistValue::dictionary(std::move(entries)).writeXmlFile(path_);
}

}  // namespace vessamo
