#pragma once

#include <string>

#include "backup/ScanState.h"
#include "common/Status.h"

namespace vessamo {

// The address-book stage of a backup scan: fills contactImageArray and
// contactArray from the phone's address book in the backup folder, then
// reports progress 65. Databases are read from private copies only; the
// backup itself is never opened. A missing address book reports nothing
// and is notFound ("contactDB is not exist"); a damaged one is corrupt.
[[nodiscard]] Status scanContactThread(ScanState& state, const std::string& folder);

// The same scan on the address book a Timeline backup keeps as
// "<folder>/31bb7ba8914766d4ba40d6dfb6113c8b614be442", pictures looked up in
// the folder as in a backup. Reports no progress.
[[nodiscard]] Status ScanTimelineBackupContactWithPath(ScanState& state, const std::string& folder);

}  // namespace vessamo
