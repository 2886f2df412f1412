#pragma once

#include <string>

#include "backup/ScanState.h"
#include "common/Status.h"

namespace vessamo {

// The chat readers of iCloud Drive and Timeline backups. Both keep a plain
// "ChatStorage.sqlite" in their folder and come without account record,
// favourites or starred messages, so a sender is named by the chat's title
// or the push name where no address book knows the number.
// An empty folder is no source and gives nothing; a folder without the
// database is notFound ("WhatsAppMessageDB is not exist").

// Pictures (looked up in the file index, which this source leaves empty),
// conversations and group members. Reports progress 78.
[[nodiscard]] Status getiCloudWhatsAppIDInfo(ScanState& state, const std::string& folder);
// Every message, each marked as from iCloud Drive.
// Reports progress 80.
[[nodiscard]] Status scaniCloudWhatsAppMessageThread(ScanState& state, const std::string& folder);

// As the iCloud readers, with pictures found by file name in the Timeline
// folder. The ID step reports no progress; the message step reports 80.
[[nodiscard]] Status getTimelineWhatsAppIDInfo(ScanState& state, const std::string& folder);
[[nodiscard]] Status scanTimelineWhatsAppMessageThread(ScanState& state, const std::string& folder);

}  // namespace vessamo
