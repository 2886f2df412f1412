#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "backup/KeyBag.h"
#include "backup/ScanReporter.h"
#include "results/ScanResult.h"

namespace vessamo {

struct ScanOptions {
    // Advanced recovery: also carve deleted messages out of the chat database.
    bool recoverDeleted = false;
    // Backups: whether the catalogue is Manifest.db (iOS 10 and later) or
    // Manifest.mbdb. nullopt lets the folder decide by what it holds.
    std::optional<bool> manifestDb;
    // iCloud Drive: how long one media archive may take to unpack.
    std::chrono::milliseconds unpackTimeout = std::chrono::minutes(30);
    // iCloud Drive: what its media archives together may unpack, in bytes.
    // nullopt takes VESSAMO_UNPACK_LIMIT_MB from the environment when set,
    // else 64 GiB; the scratch disk's free space bounds it either way.
    std::optional<uint64_t> unpackLimit;
    // Encrypted backups: the keys its password opened (EncryptedBackup).
    std::shared_ptr<const BackupKeys> backupKeys;
};

// Reads one source folder into a ScanResult, headless: the desktop
// application's controller and the command line both stand on it. The
// stages of the source's kind run in their fixed order on the calling
// thread; a stage that finds nothing or damage says so through the
// reporter and the result's problems, and the next stage goes on.
class Scanner {
public:
    // Never null. When stop is requested the stages still to come are
    // skipped (backups) or end early, and the result holds what was found.
    [[nodiscard]] static std::shared_ptr<const ScanResult> scan(const std::string& folder,
                                                                SourceKind kind,
                                                                const ScanOptions& options,
                                                                std::stop_token stop,
                                                                ScanReporter& reporter);

    // What a folder holds: a backup's catalogue, an iCloud Drive account's
    // backup or a Timeline's flat chat database. Backup when unsure.
    [[nodiscard]] static SourceKind kindOfFolder(const std::string& folder);
};

}  // namespace vessamo
