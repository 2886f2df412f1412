#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "backup/KeyBag.h"
#include "backup/ScanState.h"
#include "common/ScratchFolder.h"
#include "common/Status.h"

namespace vessamo {

// A private plain copy (mode 0700) of the part of an encrypted backup a
// scan reads: the catalogue and the files of WhatsApp and the address
// book, decrypted under their usual keys and layout, so every stage reads
// it as it reads a plain backup. The backup itself is only read.
struct DecryptedBackupCopy {
    std::shared_ptr<ScratchFolder> folder;
    std::vector<Status> problems;  // files that could not be decrypted
};

// Whether a scan reads this file of a backup.
[[nodiscard]] bool neededForScan(std::string_view domain, std::string_view relativePath);

// Decrypts the catalogue (Manifest.db with the manifest key, or reads
// Manifest.mbdb) and the files needed. A file that fails is a problem and
// is left out; a catalogue that fails is the status. cancelled when stop
// is requested, and then nothing is left behind.
[[nodiscard]] StatusOr<DecryptedBackupCopy> decryptForScan(
    const std::string& backupFolder, const BackupKeys& keys, bool manifestDb, std::stop_token stop,
    const std::function<void(int percent)>& progress = {});

// The scan's one step for an encrypted backup: makes the copy, notes its
// problems, keeps the copy with the result (its media are read when they
// are shown and exported) and gives the folder the stages read instead.
// nullopt, with the reason noted, when there is nothing to scan.
[[nodiscard]] std::optional<std::string> decryptBackupForScan(ScanState& state,
                                                              const std::string& backupFolder,
                                                              const BackupKeys& keys);

}  // namespace vessamo
