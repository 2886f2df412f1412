#pragma once

#include <string>

#include "backup/ScanState.h"

namespace vessamo {

// The scan stages: carve the chat database of a backup folder, or the
// ChatStorage.sqlite of an unpacked iCloud archive, and hand the records to
// the result views. Messages the live reader already produced are left out.
void scanDeletedWhatsAppMessageThread(ScanState& state, const std::string& folder);
void scanDeletediCloudWhatsAppMessageThread(ScanState& state, const std::string& folder);

}  // namespace vessamo
