#include <filesystem>

#include "backup/BackupIndexReaders.h"
#include "backup/MbdbRecordParser.h"
#include "backup/SHAH.h"
#include "common/Files.h"
#include "common/SystemLog.h"
#include "common/TextConversion.h"

namespace vessamo {

namespace {

// No real catalogue comes near this; anything larger is not one.
constexpr uint64_t kMaxCatalogueBytes = uint64_t{1} << 31;

bool isMbdbDomain(std::string_view domain) {
    return domain == kWhatsAppDomain || domain == kWhatsAppGroupDomain;
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

std::span<const uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

void indexRecord(ScanState& state, const std::string& backupFolder,
                 const MbdbRecordParser::Record& record, const std::string& key) {
    KTTreeDirNode entry;
    if (!record.domain.empty()) {
        entry.fileDomain = state.intern(GetStringFormChar(record.domain));
    }
    if (!record.path.empty()) {
        entry.filePath = state.keep(std::string_view(GetStringFormChar(record.path)));
    }
    entry.fileKey = state.keep(std::string_view(backupFolder + "/" + key));
    if (fileExists(entry.fileKey)) {
        state.index.addExisting(entry);
    }
    if (entry.filePath == "ChatStorage.sqlite") {
        state.index.whatsAppChatPath = state.intern(key);
        SystemLog::write("[selfChatPath]===" + key);
    }
}

}  // namespace

Status scanDirAnalyThread(ScanState& state, const std::string& backupFolder) {
    // Read-only: the catalogue belongs to the user's backup.
    const std::string path = backupFolder + "/Manifest.mbdb";
    StatusOr<std::string> bytes = readWholeFile(path, kMaxCatalogueBytes);
    if (bytes.status().is(StatusCode::notFound)) {
        return Status::notFound("Manifest.mbdb is not exist");
    }
    if (!bytes.ok()) {
        return bytes.status();
    }
    MbdbRecordParser parser(bytesOf(*bytes));
    if (!parser.readHeader()) {
        return Status::corrupt(path + " is damaged: it is no version 5.0 catalogue");
    }
    state.index.bNewAppVersion = false;
    const size_t fileSize = bytes->size();
    while (!parser.atEnd()) {
        auto record = parser.next();
        if (!record) {
            return Status::corrupt(path + " is damaged: its last record is cut short");
        }
        std::string key = SHAH::hexOf(record->domain + "-" + record->path);
        if (key.empty()) {
            SystemLog::write("AnalyzerFile hash1 could not compute message digest.\n");
            continue;
        }
        if (!isMbdbDomain(record->domain)) {
            continue;
        }
        state.reporter.progress(static_cast<int>(record->endOffset * 20 / fileSize));
        indexRecord(state, backupFolder, *record, key);
        if (state.stopRequested()) {
            break;
        }
    }
    return Status();
}

}  // namespace vessamo
