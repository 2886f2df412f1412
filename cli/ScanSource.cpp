#include "ScanSource.h"

#include <cstdlib>
#include <filesystem>

#include "backup/KTIOSDeviceController.h"

namespace vessamo::cli {

namespace fs = std::filesystem;

namespace {

SourceKind kindOf(std::string_view kindText, const std::string& folder) {
    if (kindText == "icloud") {
        return SourceKind::ICloud;
    }
    if (kindText == "timeline") {
        return SourceKind::Timeline;
    }
    if (kindText == "itunes") {
        return SourceKind::Backup;
    }
    return Scanner::kindOfFolder(folder);
}

// iCloud Drive accounts and Timeline backups have no plists to read: their
// folders name them.
KTIOSDeviceNode namedRecord(const std::string& folder, SourceKind kind) {
    KTIOSDeviceNode record;
    record.backUpFilePath = folder;
    const fs::path path = fs::path(folder).lexically_normal();
    const std::string name = (path.has_filename() ? path : path.parent_path()).filename().string();
    if (kind == SourceKind::ICloud) {
        record.strBackupType = kBackupTypeICloud;
        // ".../Accounts/<account>/backup": the account names the source.
        const std::string account = path.parent_path().filename().string();
        record.strDeviceName = "WhatsApp Account:" + (name == "backup" ? account : name);
    } else {
        record.strBackupType = kBackupTypeTimeline;
        record.strDeviceName = name;
    }
    return record;
}

}  // namespace

std::optional<bool> manifestDbForVersion(const std::string& iosVersion) {
    if (iosVersion.empty()) {
        return std::nullopt;
    }
    const std::string major = iosVersion.substr(0, iosVersion.find('.'));
    return std::strtol(major.c_str(), nullptr, 10) >= 10;
}

ScanSource describeSource(const std::string& folder, std::string_view kindText,
                          bool recoverDeleted) {
    ScanSource source;
    source.kind = kindOf(kindText, folder);
    source.options.recoverDeleted = recoverDeleted;
    if (source.kind == SourceKind::Backup) {
        source.record = *KTIOSDeviceController().recordForFolder(folder);
        source.options.manifestDb = manifestDbForVersion(source.record.strIOSVersion);
    } else {
        source.record = namedRecord(folder, source.kind);
    }
    return source;
}

std::string_view kindName(SourceKind kind) {
    switch (kind) {
        case SourceKind::ICloud:
            return "icloud";
        case SourceKind::Timeline:
            return "timeline";
        case SourceKind::Backup:
            break;
    }
    return "itunes";
}

}  // namespace vessamo::cli
