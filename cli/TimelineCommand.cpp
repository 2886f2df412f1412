#include "TimelineCommand.h"

#include <ostream>

#include "ConsoleUiPort.h"
#include "ScanSession.h"
#include "app/OrlendoAppDelegate.h"

namespace vessamo::cli {

int runTimelineCreate(const TimelineOptions& options, std::ostream& out, std::ostream& err) {
    ScanSession session(err);
    if (!session.scan(options.source, false, options.kind)) {
        err << "The scan of " << options.source << " did not start.\n";
        return 1;
    }
    if (session.interrupted()) {
        err << "The scan was stopped; no Timeline backup was made of a partial result.\n";
        return 130;
    }
    OrlendoAppDelegate& controller = session.controller();
    if (!controller.ClickCreateWhatsAppTimeline()) {
        return 1;
    }
    controller.timelineMaker().wait();
    const std::optional<TimelineCopyResult> result = controller.timelineMaker().lastResult();
    if (!result || !result->succeeded()) {
        for (const std::string& failure : result ? result->failures : std::vector<std::string>{}) {
            err << "failed: " << failure << '\n';
        }
        return 1;
    }
    out << "Made a Timeline backup of " << result->filesCopied << " files in " << result->folder
        << '\n';
    return 0;
}

int runTimelineList(std::ostream& out, std::ostream& err) {
    ConsoleUiPort ui(err);
    OrlendoAppDelegate controller(ui);
    controller.FindWhatsAppTimelineBackup();
    if (controller.timeBackupArray.empty()) {
        out << "No Timeline backups in " << controller.timelinePath << '\n';
        return 0;
    }
    for (const KTIOSDeviceNodePtr& backup : controller.timeBackupArray) {
        out << backup->strDeviceName << "  " << backup->backUpFilePath << '\n';
    }
    return 0;
}

}  // namespace vessamo::cli
