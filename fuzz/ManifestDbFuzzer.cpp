#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "backup/BackupIndexReaders.h"
#include "backup/ScanReporter.h"
#include "backup/ScanState.h"

// Any bytes as a backup's Manifest.db: the catalogue reader ends, and every
// file it indexes lies inside the backup folder.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (4u << 20)) {
        return -1;
    }
    const std::string backup = vessamo::fuzz::workFolder() + "/backup";
    static const bool made = std::filesystem::create_directories(backup);
    (void)made;
    vessamo::fuzz::writeBytes(backup + "/Manifest.db", data, size);
    vessamo::ScanReporter reporter;
    vessamo::ScanState state(reporter, {});
    state.biOS10version = true;
    vessamo::scanManifestDBThread(state, backup).ignore();
    for (const vessamo::KTTreeDirNode& entry : state.index.whatsAppFileArray) {
        const std::string_view key = entry.fileKey;
        if (key.substr(0, backup.size() + 1) != backup + "/" ||
            key.find("/..") != std::string_view::npos) {
            __builtin_trap();
        }
    }
    return 0;
}
