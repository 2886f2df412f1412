#pragma once

#include <string>

#include "backup/ScanState.h"
#include "common/Status.h"

namespace vessamo {

// The catalogue readers that start a backup scan: each builds state.index
// from the backup folder's catalogue and reports progress from 0 to 20.
// The stop button ends them between rows, keeping what was indexed.

// Manifest.db (iOS 10 and later, two-level layout). The catalogue is read
// from a private folded copy; the backup is never opened for writing. A
// damaged catalogue still gives the files named before the damage.
[[nodiscard]] Status scanManifestDBThread(ScanState& state, const std::string& backupFolder);

// Manifest.mbdb (version 5.0, flat layout). Records cut short by the end of
// the file are dropped, and the file is then reported as damaged.
[[nodiscard]] Status scanDirAnalyThread(ScanState& state, const std::string& backupFolder);

}  // namespace vessamo
