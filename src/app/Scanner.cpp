#include "app/Scanner.h"

#include <cstdlib>
#include <filesystem>

#include "addressbook/AddressBookReader.h"
#include "backup/BackupIndexReaders.h"
#include "backup/EncryptedBackupMirror.h"
#include "backup/ScanState.h"
#include "whatsapp/AccountReader.h"
#include "whatsapp/CallLogReader.h"
#include "whatsapp/DeletedMessagesStage.h"
#include "whatsapp/FavouriteContactsReader.h"
#include "whatsapp/ICloudMediaUnpacker.h"
#include "whatsapp/MessageReader.h"
#include "whatsapp/PushNameChatReaders.h"
#include "whatsapp/TimelineReaders.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

using Stage = Status (*)(ScanState&, const std::string&);

void run(ScanState& state, std::string_view name, Stage stage, const std::string& folder) {
    state.reporter.stageStarted(name);
    state.note(name, stage(state, folder));
}

#define VESSAMO_RUN(stage) run(state, #stage, stage, folder)

// The backup pipeline skips what is left once the stop button was pressed at
// one of its checkpoints; the other two run to their end and leave stopping
// to their stages.
void ScanIOSBackUpFilehand(ScanState& state, const std::string& folder) {
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

void ScanICloudBackUpFilehand(ScanState& state, const std::string& folder) {
    VESSAMO_RUN(compressWhatsAppMedia);
    VESSAMO_RUN(scanWhatsaAppMedia);
    VESSAMO_RUN(getiCloudWhatsAppIDInfo);
    VESSAMO_RUN(scaniCloudWhatsAppMessageThread);
    if (state.bScanDeleted) {
        VESSAMO_RUN(scanDeletediCloudWhatsAppMessageThread);
    }
}

Status setFullTimelinPath(ScanState& state, const std::string& folder) {
    state.fullTimelinPath = folder;
    return Status();
}

void ScanTimeLineBackUpFilehand(ScanState& state, const std::string& folder) {
    VESSAMO_RUN(setFullTimelinPath);
    // A Timeline made from a scan keeps that backup's WhatsApp files as a
    // backup of their own: read alike, it gives the records the backup gave.
    if (const std::optional<std::string> kept = keptBackupOf(folder)) {
        state.biOS10version = true;
        ScanIOSBackUpFilehand(state, *kept);
        VESSAMO_RUN(markTimelineRecords);
        return;
    }
    VESSAMO_RUN(ScanTimelineBackupContactWithPath);
    VESSAMO_RUN(ScanTimelineBackupMediaWithPath);
    VESSAMO_RUN(getTimelineWhatsAppFavateContact);
    VESSAMO_RUN(getTimelineWhatsAppFavateCall);
    VESSAMO_RUN(getTimelineWhatsAppIDInfo);
    VESSAMO_RUN(scanTimelineWhatsAppMessageThread);
}

#undef VESSAMO_RUN

uint64_t unpackLimitOf(const ScanOptions& options) {
    if (options.unpackLimit) {
        return *options.unpackLimit;
    }
    const char* megabytes = std::getenv("VESSAMO_UNPACK_LIMIT_MB");
    if (megabytes != nullptr && *megabytes != '\0') {
        char* end = nullptr;
        const unsigned long long value = std::strtoull(megabytes, &end, 10);
        if (*end == '\0' && value < (uint64_t{1} << 44)) {
            return value << 20;
        }
    }
    return kDefaultUnpackLimit;
}

bool holds(const std::string& folder, const char* name) {
    std::error_code ec;
    return fs::exists(folder + "/" + name, ec);
}

}  // namespace

std::shared_ptr<const ScanResult> Scanner::scan(const std::string& folder, SourceKind kind,
                                                const ScanOptions& options, std::stop_token stop,
                                                ScanReporter& reporter) {
    ScanState state(reporter, std::move(stop));
    state.bScanDeleted = options.recoverDeleted;
    state.biOS10version = options.manifestDb.value_or(holds(folder, "Manifest.db"));
    state.unpackTimeout = options.unpackTimeout;
    state.index.sourceFolder = folder;
    state.unpackLimit = unpackLimitOf(options);
    switch (kind) {
        case SourceKind::Backup:
            if (options.backupKeys) {
                // Encrypted: the stages read a private decrypted copy.
                if (auto plain = decryptBackupForScan(state, folder, *options.backupKeys)) {
                    ScanIOSBackUpFilehand(state, *plain);
                }
                break;
            }
            ScanIOSBackUpFilehand(state, folder);
            break;
        case SourceKind::ICloud:
            ScanICloudBackUpFilehand(state, folder);
            break;
        case SourceKind::Timeline:
            ScanTimeLineBackUpFilehand(state, folder);
            break;
    }
    state.note("the source's files", state.index.skippedStatus());
    return state.finish(kind, folder);
}

SourceKind Scanner::kindOfFolder(const std::string& folder) {
    if (holds(folder, "Manifest.db") || holds(folder, "Manifest.mbdb") ||
        holds(folder, "Info.plist")) {
        return SourceKind::Backup;
    }
    if (holds(folder, "Backup.plist") || holds(folder, "Media.tar")) {
        return SourceKind::ICloud;
    }
    if (holds(folder, "ChatStorage.sqlite")) {
        return SourceKind::Timeline;
    }
    return SourceKind::Backup;
}

}  // namespace vessamo
