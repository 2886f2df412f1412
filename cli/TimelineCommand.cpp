#include "TimelineCommand.h"

#include <filesystem>
#include <ostream>

#include "ConsoleUiPort.h"
#include "ScanSession.h"
#include "app/TimelineLibrary.h"
#include "common/UserPaths.h"

namespace vessamo::cli {

int runTimelineCreate(const TimelineOptions& options, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    if (!std::filesystem::is_directory(options.source, ec)) {
        err << "The scan of " << options.source << " did not start.\n";
        return 1;
    }
    ScanSession session(err);
    const ScanResultPtr result = session.scan(describeSource(options.source, options.kind, false));
    if (session.interrupted()) {
        err << "The scan was stopped; no Timeline backup was made of a partial result.\n";
        return InterruptWatcher::exitStatus();
    }
    ConsoleUiPort ui(err);
    const std::optional<TimelineCopyResult> made = NewWhatsAppTimeLineAction(*result, ui);
    if (!made) {
        err << "No Timeline backup was made: " << options.source
            << " is not a device backup holding WhatsApp files and media.\n";
        return 1;
    }
    if (!made->succeeded()) {
        for (const std::string& failure : made->failures) {
            err << "failed: " << failure << '\n';
        }
        return 1;
    }
    out << "Made a Timeline backup of " << made->filesCopied << " files in " << made->folder
        << '\n';
    return 0;
}

int runTimelineList(std::ostream& out) {
    // Only read: a listing makes no folder.
    const std::string timelinePath = UserPaths::timelineFolder();
    const std::vector<KTIOSDeviceNodePtr> backups = FindWhatsAppTimelineBackup(timelinePath);
    if (backups.empty()) {
        out << "No Timeline backups in " << timelinePath << '\n';
        return 0;
    }
    for (const KTIOSDeviceNodePtr& backup : backups) {
        out << backup->strDeviceName << "  " << backup->backUpFilePath << '\n';
    }
    return 0;
}

}  // namespace vessamo::cli
