#include <algorithm>
#include <filesystem>
#include <vector>

#include "backup/BackupIndexReaders.h"
#include "backup/SourceDatabase.h"
#include "common/DatabaseCopy.h"
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

// A backup names each data file by the SHA-1 of its domain and path, as
// 40 hex digits. Anything else (a path, "..", a name with a slash) would
// lead out of the backup's own two-level folders.
bool isFileKey(std::string_view fileID) {
    return fileID.size() == 40 && std::all_of(fileID.begin(), fileID.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
           });
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// Reads the whole table in one pass, keeping only rows of the WhatsApp
// domains, so a catalogue of hundreds of thousands of files costs little.
// A damaged catalogue still names the files read before the damage.
void readCatalogue(SourceDatabase& catalogue, std::vector<CatalogueRow>& rows, size_t& total) {
    SqliteStatement query;
    if (!catalogue.prepare(query, "select fileID,domain,relativePath,flags,file from Files")) {
        return;
    }
    total = 0;
    while (catalogue.step(query)) {
        ++total;
        std::string domain = GetStringFormChar(query.columnText(1));
        if (!isManifestDbDomain(domain)) {
            continue;
        }
        rows.push_back(CatalogueRow{total, query.columnText(0).value_or(std::string()),
                                    std::move(domain), query.columnText(2)});
    }
}

void indexRow(ScanState& state, const std::string& backupFolder, const CatalogueRow& row) {
    KTTreeDirNode entry;
    entry.fileDomain = state.intern(row.domain);
    if (row.relativePath && !row.relativePath->empty()) {
        entry.filePath = state.keep(std::string_view(GetStringFormChar(row.relativePath)));
    }
    entry.fileKey = state.keep(
        std::string_view(backupFolder + "/" + row.fileID.substr(0, 2) + "/" + row.fileID));
    if (SystemLog::tracing()) {
        SystemLog::trace("domain:" + entry.fileDomain + "\n");
        SystemLog::trace("path:" + entry.filePath + "\n");
        SystemLog::trace("Key:" + entry.fileKey + "\n");
    }
    if (fileExists(entry.fileKey)) {
        state.index.addExisting(entry);
        if (containsCaseInsensitive(entry.filePath, "Message/Media/")) {
            state.index.bNewAppVersion = true;
        }
    }
    if (entry.filePath == "ChatStorage.sqlite") {
        state.index.whatsAppChatPath = state.intern(row.fileID);
        SystemLog::write("[selfChatPath]===" + row.fileID);
    }
}

}  // namespace

Status scanManifestDBThread(ScanState& state, const std::string& backupFolder) {
    const std::string path = backupFolder + "/Manifest.db";
    if (!fileExists(path)) {
        return Status::notFound("messageDB is not exist");
    }
    // A copy of its own, gone when the index is built: a large backup's
    // catalogue need not sit in the scratch space for the whole scan.
    auto scratch = ScratchFolder::create("vessamo-index");
    if (!scratch) {
        return Status::ioError("cannot create a private folder for " + path);
    }
    auto copy = makeFoldedCopy(*scratch, path);
    if (!copy) {
        return Status::ioError("cannot copy " + path);
    }
    state.index.bNewAppVersion = false;
    SourceDatabase catalogue(*copy, path);
    std::vector<CatalogueRow> rows;
    size_t total = 0;
    readCatalogue(catalogue, rows, total);
    size_t skipped = 0;
    for (const CatalogueRow& row : rows) {
        state.reporter.progress(static_cast<int>(20 * row.rowNumber / total));
        // A row that names no file key names no file of the backup; it must
        // not replace a real chat database found earlier either.
        if (isFileKey(row.fileID)) {
            indexRow(state, backupFolder, row);
        } else {
            ++skipped;
            SystemLog::write("Catalogue row without a usable fileID: " + row.domain);
        }
        if (state.stopRequested()) {
            break;
        }
    }
    if (skipped > 0) {
        state.note("scanManifestDBThread",
                   Status::corrupt(path + " is damaged: " + std::to_string(skipped) +
                                   " WhatsApp file(s) named by no valid file key were skipped"));
    }
    return catalogue.status();
}

}  // namespace vessamo
