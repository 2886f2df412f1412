#include <filesystem>
#include <vector>

#include "backup/BackupIndexReaders.h"
#include "common/DatabaseCopy.h"
#include "common/NotificationCenter.h"
#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"
#include "common/TextConversion.h"

namespace vessamo {

namespace {

struct CatalogueRow {
    size_t rowNumber = 0;  // 1-based, over every row of the table
    std::string fileID;
    std::string domain;
    std::optional<std::string> relativePath;
};

bool isManifestDbDomain(std::string_view domain) {
    return domain == kWhatsAppDomain || domain == kWhatsAppGroupDomain ||
           domain == kBusinessDomain || domain == kBusinessGroupDomain;
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// Reads the whole table in one pass, keeping only rows of the WhatsApp
// domains, so a catalogue of hundreds of thousands of files costs little.
bool readCatalogue(const std::string& path, std::vector<CatalogueRow>& rows, size_t& total) {
    SqliteDatabase db;
    if (db.open(path, SqliteDatabase::Mode::ReadOnly) != SQLITE_OK) {
        return false;
    }
    SqliteStatement query;
    if (query.prepare(db, "select fileID,domain,relativePath,flags,file from Files") != SQLITE_OK) {
        return false;
    }
    total = 0;
    int rc = SQLITE_ROW;
    while ((rc = query.step()) == SQLITE_ROW) {
        ++total;
        std::string domain = GetStringFormChar(query.columnText(1));
        if (!isManifestDbDomain(domain)) {
            continue;
        }
        rows.push_back(CatalogueRow{total, query.columnText(0).value_or(std::string()),
                                    std::move(domain), query.columnText(2)});
    }
    if (rc != SQLITE_DONE) {
        // A damaged catalogue still names the files read before the damage.
        SystemLog::write("Manifest.db read stopped early: " + db.lastError());
    }
    return true;
}

void indexRow(const std::string& backupFolder, const CatalogueRow& row, IndexingContext& context) {
    KTTreeDirNode entry;
    entry.fileDomain = row.domain;
    if (row.relativePath && !row.relativePath->empty()) {
        entry.filePath = GetStringFormChar(row.relativePath);
    }
    entry.fileKey = backupFolder + "/" + row.fileID.substr(0, 2) + "/" + row.fileID;
    if (SystemLog::tracing()) {
        SystemLog::trace("domain:" + entry.fileDomain + "\n");
        SystemLog::trace("path:" + entry.filePath + "\n");
        SystemLog::trace("Key:" + entry.fileKey + "\n");
    }
    if (fileExists(entry.fileKey)) {
        context.index.addExisting(entry);
        if (containsCaseInsensitive(entry.filePath, "Message/Media/")) {
            context.index.bNewAppVersion = true;
        }
    }
    if (entry.filePath == "ChatStorage.sqlite") {
        context.index.whatsAppChatPath = row.fileID;
        SystemLog::write("[selfChatPath]===" + row.fileID);
    }
}

}  // namespace

void scanManifestDBThread(const std::string& backupFolder, IndexingContext& context) {
    const std::string catalogue = backupFolder + "/Manifest.db";
    if (!fileExists(catalogue)) {
        SystemLog::write("messageDB is not exist");
        return;
    }
    auto scratch = ScratchFolder::create("vessamo-index");
    if (!scratch) {
        return;
    }
    auto copy = makeFoldedCopy(*scratch, catalogue);
    context.index.bNewAppVersion = false;
    std::vector<CatalogueRow> rows;
    size_t total = 0;
    if (!copy || !readCatalogue(*copy, rows, total) || total == 0) {
        return;
    }
    for (const CatalogueRow& row : rows) {
        context.notifications.post("ScanProgressInfo",
                                   static_cast<int>(20 * row.rowNumber / total));
        // A fileID too short to name its two-character folder names no file;
        // it must not replace a real chat database found earlier either.
        if (row.fileID.size() >= 3) {
            indexRow(backupFolder, row, context);
        } else {
            SystemLog::write("Catalogue row without a usable fileID: " + row.domain);
        }
        if (context.stopRequested.load()) {
            return;
        }
    }
}

}  // namespace vessamo
