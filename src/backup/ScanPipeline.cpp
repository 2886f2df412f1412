#include "backup/ScanPipeline.h"

#include "common/SystemLog.h"

namespace vessamo {

namespace {

void run(const ScanStages& stages, const ScanStages::Stage& stage, std::string_view name,
         ScanState& state, const std::string& folder) {
    if (stages.onStageStart) {
        stages.onStageStart(name);
    }
    if (stage) {
        stage(state, folder);
    } else {
        SystemLog::write(std::string(name) + ": nothing to read in this build");
    }
}

#define VESSAMO_RUN(stageName) run(stages, stages.stageName, #stageName, state, folder)

}  // namespace

void ScanIOSBackUpFilehand(ScanState& state, const ScanStages& stages, const std::string& folder) {
    if (state.biOS10version) {
        VESSAMO_RUN(scanManifestDBThread);
    } else {
        VESSAMO_RUN(scanDirAnalyThread);
    }
    if (state.stopRequested()) {
        return;
    }
    VESSAMO_RUN(scanContactThread);
    VESSAMO_RUN(getWhatsAppFavateContact);
    VESSAMO_RUN(getWhatsAppIDInfo);
    if (state.stopRequested()) {
        return;
    }
    VESSAMO_RUN(scanWhatsAppMessageThread);
    VESSAMO_RUN(scanWhatsAppCalllogThread);
    if (state.bScanDeleted) {
        VESSAMO_RUN(scanDeletedWhatsAppMessageThread);
    }
}

void ScanICloudBackUpFilehand(ScanState& state, const ScanStages& stages,
                              const std::string& folder) {
    VESSAMO_RUN(compressWhatsAppMedia);
    VESSAMO_RUN(scanWhatsaAppMedia);
    VESSAMO_RUN(getiCloudWhatsAppIDInfo);
    VESSAMO_RUN(scaniCloudWhatsAppMessageThread);
    if (state.bScanDeleted) {
        VESSAMO_RUN(scanDeletediCloudWhatsAppMessageThread);
    }
}

void ScanTimeLineBackUpFilehand(ScanState& state, const ScanStages& stages,
                                const std::string& folder) {
    VESSAMO_RUN(setFullTimelinPath);
    VESSAMO_RUN(ScanTimelineBackupContactWithPath);
    VESSAMO_RUN(ScanTimelineBackupMediaWithPath);
    VESSAMO_RUN(getTimelineWhatsAppFavateContact);
    VESSAMO_RUN(getTimelineWhatsAppFavateCall);
    VESSAMO_RUN(getTimelineWhatsAppIDInfo);
    VESSAMO_RUN(scanTimelineWhatsAppMessageThread);
}

#undef VESSAMO_RUN

}  // namespace vessamo
