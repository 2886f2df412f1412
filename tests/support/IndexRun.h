#pragma once

#include <any>
#include <atomic>
#include <string>
#include <vector>

#include "backup/BackupIndexReaders.h"
#include "common/NotificationCenter.h"

namespace vessamo::test {

// Runs one catalogue reader with a stop flag and a notification centre of
// its own, recording the progress it posts.
struct IndexRun {
    explicit IndexRun(bool stopAfterFirstProgress = false)
        : stopOnFirstProgress(stopAfterFirstProgress) {}

    const BackupFileIndex& run(const std::string& folder, bool manifestDb) {
        NotificationCenter center;
        ScopedObserver observer(center, "ScanProgressInfo", [this](const Notification& n) {
            progress.push_back(std::any_cast<int>(n.object));
            if (stopOnFirstProgress) {
                stop = true;
            }
        });
        IndexingContext context{index, stop, center};
        if (manifestDb) {
            scanManifestDBThread(folder, context);
        } else {
            scanDirAnalyThread(folder, context);
        }
        return index;
    }

    bool stopOnFirstProgress = false;
    BackupFileIndex index;
    std::vector<int> progress;
    std::atomic<bool> stop{false};
};

}  // namespace vessamo::test
