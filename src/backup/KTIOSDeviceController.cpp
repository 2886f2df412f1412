#include "backup/KTIOSDeviceController.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <utility>

#include "common/PlistValue.h"
#include "common/SystemLog.h"
#include "common/TextConversion.h"
#include "common/UserPaths.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

// Entry names of a folder, "." and ".." excluded; nullopt when it cannot be listed.
std::optional<std::vector<std::string>> listFolder(const std::string& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            return std::nullopt;
        }
        names.push_back(it->path().filename().string());
    }
    // The file system's order is arbitrary; a sorted list keeps the source
    // list the same from one run to the next.
    std::sort(names.begin(), names.end());
    return names;
}

bool pathExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

std::string stringOrEmpty(const PlistValue& dict, std::string_view key) {
    return dict.stringFor(key).value_or(std::string());
}

std::string deviceImageFor(const std::optional<std::string>& deviceType) {
    if (deviceType &&
        (*deviceType == "ipad" || *deviceType == "Ipad2" || *deviceType == "NewIpad")) {
        return "ipad";
    }
    return "iphone";
}

// What formatting a plist value with "%@" shows: a date in its canonical UTC
// form, text as it stands, "(null)" for nothing.
std::string describe(const PlistValue* value) {
    if (value == nullptr || value->isNone()) {
        return "(null)";
    }
    if (const std::string* text = value->asString()) {
        return *text;
    }
    if (auto when = value->asDate()) {
        return canonicalUtcText(static_cast<std::time_t>(when->unixTime()));
    }
    if (auto number = value->asInteger()) {
        return std::to_string(*number);
    }
    if (auto flag = value->asBoolean()) {
        return *flag ? "1" : "0";
    }
    return "(null)";
}

}  // namespace

std::optional<std::string> KTIOSDeviceController::GetDevcieType(
    const std::optional<std::string>& productType) {
    if (!productType || productType->empty()) {
        return "Iphone";
    }
    struct Rule {
        std::array<const char*, 3> patterns;
        const char* key;
    };
    static const std::array<Rule, 11> rules = {{
        {{"iPhone1,1", nullptr, nullptr}, "Iphone"},
        {{"iPhone1,2", nullptr, nullptr}, "Iphone3G"},
        {{"iPhone2,1", nullptr, nullptr}, "Iphone3GS"},
        {{"iPhone3,1", "iPhone3,3", nullptr}, "Iphone 4"},
        {{"iPhone4,1", nullptr, nullptr}, "Iphone 4S"},
        {{"iPhone5", nullptr, nullptr}, "Iphone 5"},
        {{"iPod1,1", nullptr, nullptr}, "IpodTouch"},
        {{"iPod2,1", nullptr, nullptr}, "IpodTouch2G"},
        {{"iPod3,1", nullptr, nullptr}, "IpodTouch3G"},
        {{"iPod4,1", nullptr, nullptr}, "IpodTouch4G"},
        {{"iPad1,1", "iPad2,1", "iPad"}, "ipad"},
    }};
    for (const Rule& rule : rules) {
        for (const char* pattern : rule.patterns) {
            if (pattern != nullptr && containsCaseInsensitive(*productType, pattern)) {
                return std::string(rule.key);  // the keys double as display texts
            }
        }
    }
    return std::nullopt;
}

void KTIOSDeviceController::addDeviceNodeByPath(const std::string& folder) {
    if (!pathExists(folder)) {
        SystemLog::write("Filepath is not exist");
        return;
    }
    auto entries = listFolder(folder);
    if (!entries || entries->size() < 2) {
        return;
    }
    if (Record record = readBackupFolder(folder)) {
        records_.push_back(std::move(record));
    } else {
        noteUnreadable(folder);
    }
}

void KTIOSDeviceController::noteUnreadable(const std::string& folder) {
    std::string damaged;
    for (const char* plist : {"Info.plist", "Manifest.plist"}) {
        if (pathExists(folder + "/" + plist)) {
            damaged += (damaged.empty() ? "" : " and ") + std::string(plist);
        }
    }
    if (!damaged.empty()) {
        const bool both = damaged.find(" and ") != std::string::npos;
        unreadable_.push_back(
            {folder, Status::corrupt(damaged + (both ? " are" : " is") +
                                     " damaged: the backup's device cannot be told")});
        return;
    }
    // Without plists only a catalogue says the folder is a backup.
    for (const char* catalogue : {"Manifest.db", "Manifest.mbdb", "Status.plist"}) {
        if (pathExists(folder + "/" + catalogue)) {
            unreadable_.push_back(
                {folder, Status::notFound("the backup has no Info.plist or Manifest.plist")});
            return;
        }
    }
}

KTIOSDeviceController::Record KTIOSDeviceController::recordForFolder(
    const std::string& folder) const {
    Record record = readBackupFolder(folder);
    if (!record) {
        record = std::make_shared<KTIOSDeviceNode>();
        record->strBackupType = kBackupTypeITunes;
        record->backUpFilePath = folder;
        record->deviceImage = "iphone";
    }
    return record;
}

KTIOSDeviceController::Record KTIOSDeviceController::readBackupFolder(
    const std::string& folder) const {
    auto info = PlistValue::fromFile(PathWithin{folder, folder + "/Info.plist"});
    auto manifest = PlistValue::fromFile(PathWithin{folder, folder + "/Manifest.plist"});
    if (info && !info->asDictionary()) {
        info.reset();
    }
    Record record;
    if (!info && manifest) {
        const PlistValue* lockdown = manifest->find("Lockdown");
        if (lockdown == nullptr || lockdown->asDictionary() == nullptr) {
            return nullptr;
        }
        record = recordFromManifest(folder, *lockdown, *manifest);
    } else if (info) {
        record = recordFromInfoPlist(folder, *info, manifest);
    } else {
        return nullptr;
    }
    record->strBackupType = kBackupTypeITunes;
    record->backUpFilePath = folder;
    record->deviceImage = deviceImageFor(record->strDeviceType);
    return record;
}

KTIOSDeviceController::Record KTIOSDeviceController::recordFromManifest(
    const std::string& folder, const PlistValue& lockdown, const PlistValue& manifest) const {
    auto record = std::make_shared<KTIOSDeviceNode>();
    record->strDeviceName = stringOrEmpty(lockdown, "DeviceName");
    record->strDeviceSerial = stringOrEmpty(lockdown, "SerialNumber");
    record->strDeviceType = GetDevcieType(lockdown.stringFor("ProductType"));
    record->strIOSVersion = stringOrEmpty(lockdown, "ProductVersion");
    record->itunesVersion = stringOrEmpty(lockdown, "BuildVersion");
    if (const PlistValue* encrypted = manifest.find("IsEncrypted")) {
        record->beEncrypted = encrypted->asBoolean().value_or(false);
    }
    record->strDeviceBackUpTime = backupTimeOfFile(folder + "/Manifest.plist", system_);
    return record;
}

KTIOSDeviceController::Record KTIOSDeviceController::recordFromInfoPlist(
    const std::string& folder, const PlistValue& info,
    const std::optional<PlistValue>& manifest) const {
    auto record = std::make_shared<KTIOSDeviceNode>();
    record->strDeviceName = stringOrEmpty(info, "Device Name");
    record->strDeviceSerial = stringOrEmpty(info, "Serial Number");
    record->strDeviceType = GetDevcieType(info.stringFor("Product Type"));
    record->strIOSVersion = stringOrEmpty(info, "Product Version");
    record->itunesVersion = stringOrEmpty(info, "iTunes Version");
    std::error_code ec;
    auto size = fs::file_size(folder + "/Info.plist", ec);
    record->strDeviceSize = ec ? std::string() : std::to_string(size);
    record->strDeviceBackUpTime = backupTimeOfFile(folder + "/Info.plist", system_);
    if (manifest) {
        if (const PlistValue* encrypted = manifest->find("IsEncrypted")) {
            record->beEncrypted = encrypted->asBoolean().value_or(false);
        }
    }
    return record;
}

void KTIOSDeviceController::addiCloudDeviceNode() {
    const std::string library = UserPaths::libraryFolder();
    if (!pathExists(library)) {
        SystemLog::write("userLibrary Filepath is not exist");
        return;
    }
    auto libraryEntries = listFolder(library);
    if (!libraryEntries) {
        return;
    }
    for (const std::string& documents : *libraryEntries) {
        if (!containsCaseInsensitive(documents, "Mobile Documents")) {
            continue;
        }
        const std::string documentsFolder = library + "/" + documents;
        auto containers = listFolder(documentsFolder);
        if (!containers) {
            continue;
        }
        for (const std::string& container : *containers) {
            if (!containsCaseInsensitive(container, "~whatsapp")) {
                continue;
            }
            // A container without a readable Accounts folder is passed over;
            // it must not hide the accounts of the containers after it.
            addAccountsOf(documentsFolder + "/" + container + "/Accounts");
        }
    }
}

void KTIOSDeviceController::addAccountsOf(const std::string& accountsFolder) {
    auto accounts = listFolder(accountsFolder);
    if (!accounts) {
        return;
    }
    for (const std::string& account : *accounts) {
        if (account.empty() || account.front() == '.') {
            continue;
        }
        const std::string backupFolder = accountsFolder + "/" + account + "/backup";
        const std::string backupPlist = backupFolder + "/Backup.plist";
        if (!pathExists(backupPlist) && !pathExists(backupFolder + "/Media.tar")) {
            continue;
        }
        auto record = std::make_shared<KTIOSDeviceNode>();
        record->strBackupType = kBackupTypeICloud;
        record->backUpFilePath = backupFolder;
        record->strDeviceName = "WhatsApp Account:" + account;
        auto plist = PlistValue::fromFile(PathWithin{backupFolder, backupPlist});
        record->strDeviceBackUpTime = describe(plist ? plist->find("Date") : nullptr);
        record->deviceImage = "iphone";
        records_.push_back(std::move(record));
    }
}

}  // namespace vessamo
