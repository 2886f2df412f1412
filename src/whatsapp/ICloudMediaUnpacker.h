#pragma once

#include <string>

#include "backup/ScanState.h"
#include "common/Status.h"

namespace vessamo {

// Unpacks the backup folder's media archives (Media.tar, Media_1.tar,
// Document.tar, Document_1.tar, Video.tar, Thumbnail.tar, in that order, a
// later one's file replacing an earlier one's) into a private folder made
// for this scan: state.unpackFolder, whose media tree is tempfilePath. Each
// archive may take state.unpackTimeout. Only an archive that unpacks cleanly
// adds files, and of those only plain files and folders: links, devices and
// anything named to land elsewhere never leave the archive's own staging
// folder. An archive that fails is logged and passed over.
[[nodiscard]] Status compressWhatsAppMedia(ScanState& state, const std::string& folder);

// Lists every unpacked file below "Media", walked in name order, as a media
// entry (full path, file name) of the scan; entries whose path inside
// "Media" starts with "." are left out. notFound without that folder.
[[nodiscard]] Status scanWhatsaAppMedia(ScanState& state, const std::string& folder);

}  // namespace vessamo
