#pragma once

#include <string>

#include "backup/ScanState.h"
#include "common/Status.h"

namespace vessamo {

// The scan stages: carve the chat database of a backup folder, or the
// ChatStorage.sqlite of an unpacked iCloud archive, and hand the records to
// the scan. Messages the live reader already produced are left out.
// notFound when there is no chat database, corrupt when it cannot be read
// page by page.
Status scanDeletedWhatsAppMessageThread(ScanState& state, const std::string& folder);
Status scanDeletediCloudWhatsAppMessageThread(ScanState& state, const std::string& folder);

}  // namespace vessamo
