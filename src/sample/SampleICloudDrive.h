#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sample/SampleWhatsApp.h"

namespace vessamo::sample {

struct ICloudDriveOptions {
    WhatsAppSampleOptions whatsApp;
    std::string account = "4915112345678";
    std::string container = "57T9237FN3~net~whatsapp~WhatsApp";
    bool chatStorage = true;  // false: an account whose chat database never synced
};

// What a written iCloud Drive account holds, for tests to check a scan by.
struct ICloudDriveSample {
    std::string backupFolder;
    std::string account;
    WhatsAppSample world;
    size_t conversations = 0;  // chat sessions
    size_t groupMembers = 0;
    size_t messages = 0;
    // Every file below the unpack folder once all archives are unpacked in
    // order ("Media/..." -> content), hidden ones included.
    std::map<std::string, std::string> unpackedFiles;
    std::string sharedPath;             // in "Media.tar" and "Media_1.tar" with different content
    std::string hiddenTop;              // a hidden file at the top of "Media"
    std::string hiddenDeep;             // a hidden file further down
    std::vector<std::string> archives;  // the archive names written
};

// Writes the folder iCloud Drive keeps for one WhatsApp account below
// "<home>/Library/Mobile Documents", as WhatsApp leaves it: "Backup.plist",
// "ChatStorage.sqlite" of a sample WhatsApp world, and gzip tar archives of
// the world's media under "Media/" paths as the messages store them.
// "Document_1.tar" is left out, as accounts without many documents have it.
[[nodiscard]] std::optional<ICloudDriveSample> writeICloudDriveBackup(
    const std::string& home, const ICloudDriveOptions& options = {});

}  // namespace vessamo::sample
