#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "backup/ScanState.h"

namespace vessamo {

// The stages a scan can run, by name. The application fills in the ones
// its subsystems provide; a stage left empty logs that it has nothing to
// read and returns, as a stage does whose database is missing.
struct ScanStages {
    using Stage = std::function<void(ScanState&, const std::string& folder)>;

    // Backups (local and device)
    Stage scanManifestDBThread;
    Stage scanDirAnalyThread;
    Stage scanContactThread;
    Stage getWhatsAppFavateContact;
    Stage getWhatsAppIDInfo;
    Stage scanWhatsAppMessageThread;
    Stage scanWhatsAppCalllogThread;
    Stage scanDeletedWhatsAppMessageThread;
    // iCloud Drive
    Stage compressWhatsAppMedia;
    Stage scanWhatsaAppMedia;
    Stage getiCloudWhatsAppIDInfo;
    Stage scaniCloudWhatsAppMessageThread;
    Stage scanDeletediCloudWhatsAppMessageThread;
    // Timeline
    Stage setFullTimelinPath;
    Stage ScanTimelineBackupContactWithPath;
    Stage ScanTimelineBackupMediaWithPath;
    Stage getTimelineWhatsAppFavateContact;
    Stage getTimelineWhatsAppFavateCall;
    Stage getTimelineWhatsAppIDInfo;
    Stage scanTimelineWhatsAppMessageThread;

    // Told the name of every stage as it starts (progress views, tests).
    std::function<void(std::string_view)> onStageStart;
};

// The fixed stage orders. The backup pipeline skips what is left once the
// stop button was pressed at one of its checkpoints; the other two run to
// their end and leave stopping to their stages.
void ScanIOSBackUpFilehand(ScanState& state, const ScanStages& stages, const std::string& folder);
void ScanICloudBackUpFilehand(ScanState& state, const ScanStages& stages,
                              const std::string& folder);
void ScanTimeLineBackUpFilehand(ScanState& state, const ScanStages& stages,
                                const std::string& folder);

}  // namespace vessamo
