#pragma once

#include <atomic>
#include <string>

#include "results/BackupFileIndex.h"

namespace vessamo {

class NotificationCenter;

// What a catalogue reader needs besides the folder: where to put the index,
// the stop button, and where to post "ScanProgressInfo" (0 to 20).
struct IndexingContext {
    BackupFileIndex& index;
    const std::atomic<bool>& stopRequested;
    NotificationCenter& notifications;
};

// Builds the index from Manifest.db (iOS 10 and later, two-level layout).
// The catalogue is read from a private folded copy; the backup is never
// opened for writing.
void scanManifestDBThread(const std::string& backupFolder, IndexingContext& context);

// Builds the index from Manifest.mbdb (version 5.0, flat layout). Records cut
// short by the end of the file are dropped.
void scanDirAnalyThread(const std::string& backupFolder, IndexingContext& context);

}  // namespace vessamo
