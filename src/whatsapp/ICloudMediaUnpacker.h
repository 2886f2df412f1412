#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "backup/ScanState.h"
#include "results/KTTreeDirNode.h"

namespace vessamo {

// The media archives an iCloud Drive WhatsApp backup keeps, in the order
// they are unpacked; a later one's file replaces an earlier one's.
[[nodiscard]] const std::vector<std::string>& iCloudMediaArchives();

struct MediaUnpackOptions {
    // How long one archive may take before its unpacking is given up.
    std::chrono::milliseconds timeout = std::chrono::minutes(30);
};

// Unpacks the backup folder's media archives into a private folder made for
// this scan, which becomes tempfilePath. Only an archive that unpacks
// cleanly adds files, and of those only plain files and folders: links,
// devices and anything named to land elsewhere never leave the archive's own
// staging folder.
void compressWhatsAppMedia(ScanState& state, const std::string& folder);
void compressWhatsAppMedia(ScanState& state, const std::string& folder,
                           const MediaUnpackOptions& options);

// Lists every unpacked file below "Media" as a media entry of the scan.
void scanWhatsaAppMedia(ScanState& state, const std::string& folder);

// The files below a folder, walked in name order, as media entries (full
// path, file name). Entries whose path inside the folder starts with "."
// are left out, which hides only what sits hidden at the folder's top.
[[nodiscard]] std::vector<KTTreeDirNode> listMediaFiles(const std::string& folder);

}  // namespace vessamo
