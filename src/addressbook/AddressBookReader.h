#pragma once

#include <string>

#include "backup/ScanState.h"

namespace vessamo {

// The address-book stage of a backup scan: fills contactImageArray,
// contactArray and wpContactArray from the phone's address book in the
// backup folder, then posts "ScanProgressInfo" 65. Databases are read from
// private copies only; the backup itself is never opened. A missing
// address book is logged and posts nothing.
void scanContactThread(ScanState& state, const std::string& folder);

// The same scan on the address book a Timeline backup keeps as
// "<folder>/31bb7ba8914766d4ba40d6dfb6113c8b614be442", pictures looked up in
// the folder as in a backup. Posts no progress.
void ScanTimelineBackupContactWithPath(ScanState& state, const std::string& folder);

}  // namespace vessamo
