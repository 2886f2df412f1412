#include "backup/BackupFileLocator.h"

#include <array>
#include <filesystem>

#include "backup/SHAH.h"
#include "common/ConfinedFiles.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

struct KnownFile {
    std::string_view key;
    std::string_view domain;
    std::string_view relativePath;
};

// Databases read by fixed key whose domain may not be in the index.
constexpr std::array<KnownFile, 7> kKnownDatabases = {{
    {"31bb7ba8914766d4ba40d6dfb6113c8b614be442", "HomeDomain",
     "Library/AddressBook/AddressBook.sqlitedb"},
    {"cd6702cea29fe89cf280a76794405adb17f9a0ee", "HomeDomain",
     "Library/AddressBook/AddressBookImages.sqlitedb"},
    {"7c7fba66680ef796b916b067077cc246adacf01d",
     "AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "ChatStorage.sqlite"},
    {"724bd3b98b18518b455a87c1f3ac3a0d189c4466",
     "AppDomainGroup-group.net.whatsapp.WhatsAppSMB.shared", "ChatStorage.sqlite"},
    {"1b6b187a1b60b9ae8b720c79e2c67f472bab09c0", "AppDomain-net.whatsapp.WhatsApp",
     "Documents/ChatStorage.sqlite"},
    {"ec50dd986a0f35953e40f6ca9602ad78173e254f",
     "AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "Contacts.sqlite"},
    {"1b432994e958845fffe8e2f190f26d1511534088",
     "AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "CallHistory.sqlite"},
}};

}  // namespace

std::string BackupFileLocator::keyPath(const std::string& folder, std::string_view key,
                                       bool twoLevel) {
    std::string path = folder + "/";
    if (twoLevel) {
        path.append(key.substr(0, 2));
        path += "/";
    }
    path.append(key);
    return path;
}

std::string BackupFileLocator::fileKey(std::string_view domain, std::string_view relativePath) {
    SHAH hash;
    hash.update(domain);
    hash.update("-");
    hash.update(relativePath);
    return hash.hexDigest();
}

bool BackupFileLocator::exists(const std::string& path) {
    return isSourceFile({{}, path});
}

std::optional<std::string> BackupFileLocator::writeAheadLogOf(const std::string& dbPath,
                                                              const BackupFileIndex& index) {
    const fs::path db(dbPath);
    const std::string key = db.filename().string();
    std::string domain;
    std::string relativePath;
    for (const KnownFile& known : kKnownDatabases) {
        if (known.key == key) {
            domain = known.domain;
            relativePath = known.relativePath;
        }
    }
    if (domain.empty()) {
        for (const KTTreeDirNode& entry : index.whatsAppFileArray) {
            if (entry.fileKey == dbPath) {
                domain = entry.fileDomain;
                relativePath = entry.filePath;
                break;
            }
        }
    }
    if (domain.empty()) {
        return std::nullopt;
    }
    const std::string walKey = fileKey(domain, relativePath + "-wal");
    const bool twoLevel = db.parent_path().filename() == key.substr(0, 2);
    const std::string folder =
        (twoLevel ? db.parent_path().parent_path() : db.parent_path()).string();
    std::string wal = keyPath(folder, walKey, twoLevel);
    if (exists(wal)) {
        return wal;
    }
    return std::nullopt;
}

}  // namespace vessamo
