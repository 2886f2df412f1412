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

}  // namespace vessamo
