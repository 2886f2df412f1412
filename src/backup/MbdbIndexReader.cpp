#include <filesystem>
#include <fstream>
#include <vector>

#include "backup/BackupIndexReaders.h"
#include "backup/MbdbRecordParser.h"
#include "backup/SHAH.h"
#include "common/NotificationCenter.h"
#include "common/SystemLog.h"
#include "common/TextConversion.h"

namespace vessamo {

namespace {

// No real catalogue comes near this; anything larger is not one.
constexpr uintmax_t kMaxCatalogueBytes = uintmax_t{1} << 31;

std::optional<std::vector<uint8_t>> readCatalogue(const std::string& path) {
    std::error_code ec;
    uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxCatalogueBytes) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

bool isMbdbDomain(std::string_view domain) {
    return domain == kWhatsAppDomain || domain == kWhatsAppGroupDomain;
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

void scanDirAnalyThread(const std::string& backupFolder, IndexingContext& context) {
    // Read-only: the catalogue belongs to the user's backup.
    auto bytes = readCatalogue(backupFolder + "/Manifest.mbdb");
    if (!bytes) {
        return;
    }
    MbdbRecordParser parser(*bytes);
    if (!parser.readHeader()) {
        return;
    }
    context.index.bNewAppVersion = false;
    const size_t fileSize = bytes->size();
    while (!parser.atEnd()) {
        auto record = parser.next();
        if (!record) {
            break;
        }
        KTTreeDirNode entry;
        if (!record->domain.empty()) {
            entry.fileDomain = GetStringFormChar(record->domain);
        }
        if (!record->path.empty()) {
            entry.filePath = GetStringFormChar(record->path);
        }
        std::string key = SHAH::hexOf(record->domain + "-" + record->path);
        if (key.empty()) {
            SystemLog::write("AnalyzerFile hash1 could not compute message digest.\n");
            continue;
        }
        if (!isMbdbDomain(record->domain)) {
            continue;
        }
        entry.fileKey = backupFolder + "/" + key;
        context.notifications.post("ScanProgressInfo",
                                   static_cast<int>(record->endOffset * 20 / fileSize));
        if (fileExists(entry.fileKey)) {
            context.index.addExisting(entry);
        }
        if (entry.filePath == "ChatStorage.sqlite") {
            context.index.whatsAppChatPath = key;
            SystemLog::write("[selfChatPath]===" + key);
        }
        if (context.stopRequested.load()) {
            return;
        }
    }
}

}  // namespace vessamo
