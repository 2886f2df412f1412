#pragma once

#include <string>

#include "backup/ScanState.h"
#include "common/Status.h"

namespace vessamo {

// Unpacks the backup folder's media archives (Media.tar, Media_1.tar,
// Document.tar, Document_1.tar, Video.tar, Thumbnail.tar, in that order, a
// later one's file replacing an earlier one's) into a private folder made
// for this scan: state.unpackFolder, whose media tree is tempfilePath. Each
// archive may take state.unpackTimeout; gzip and plain tar are told apart
// by their first bytes. Only plain files and folders are added: links,
// devices and anything named to land elsewhere never leave the archive's
// own staging folder. A damaged member is passed over and the rest kept.
// All archives together unpack at most state.unpackLimit bytes, and never
// so much that the disk runs short; an archive that would pass that keeps
// nothing. The stop button ends tar at once. Each archive's trouble is
// noted as a problem of the scan.
[[nodiscard]] Status compressWhatsAppMedia(ScanState& state, const std::string& folder);

// Lists every unpacked file below "Media", walked in name order, as a media
// entry (full path, file name) of the scan; entries whose path inside
// "Media" starts with "." are left out. notFound without that folder.
[[nodiscard]] Status scanWhatsaAppMedia(ScanState& state, const std::string& folder);

}  // namespace vessamo
