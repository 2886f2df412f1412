#pragma once

#include <string>

#include "backup/ScanState.h"

namespace vessamo {

// The chat readers of iCloud Drive and Timeline backups. Both keep a plain
// "ChatStorage.sqlite" in their folder and come without account record,
// favourites or starred messages, so a sender is known by push name only.

// Pictures (looked up in the file index, which this source leaves empty),
// conversations and group members. Posts progress 78.
void getiCloudWhatsAppIDInfo(ScanState& state, const std::string& folder);
// Every message, push names as names, each marked as from iCloud Drive.
// Posts progress 80.
void scaniCloudWhatsAppMessageThread(ScanState& state, const std::string& folder);

// As the iCloud readers, with pictures found by file name in the Timeline
// folder. The ID step posts no progress; the message step posts 80.
void getTimelineWhatsAppIDInfo(ScanState& state, const std::string& folder);
void scanTimelineWhatsAppMessageThread(ScanState& state, const std::string& folder);

}  // namespace vessamo
