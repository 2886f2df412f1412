#include "whatsapp/TimelineReaders.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "backup/BackupFileLocator.h"
#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"
#include "whatsapp/CallLogReader.h"
#include "whatsapp/ColumnValues.h"
#include "whatsapp/ContactLookups.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMissing = "WhatsAppMessageDB is not exist";
// Documents/calls.log of the app's own domain, the name a scan-made
// Timeline gives the call log it copied from an older backup.
constexpr std::string_view kAppCallLogKey = "21ae65d600415978a2e08e7969270e078247c1b5";

bool isFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::string lastComponent(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// Relative paths of the regular files below the folder. Links are not
// followed: a Timeline holds none of its own, and one placed there must not
// list files from elsewhere.
std::vector<std::string> filesBelow(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                          ec);
    for (const fs::recursive_directory_iterator end; !ec && walk != end; walk.increment(ec)) {
        std::error_code statusError;
        if (walk->symlink_status(statusError).type() != fs::file_type::regular) {
            continue;
        }
        std::string relative = walk->path().lexically_relative(folder).generic_string();
        if (!relative.empty() && relative.front() != '.') {
            files.push_back(std::move(relative));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

KTWhatsAppFavContactPtr favouriteFromStatus(const SqliteStatement& row, const std::string& folder,
                                            ContactLookups& lookups) {
    auto favourite = std::make_shared<KTWhatsAppFavContact>();
    if (auto picture = textValue(row, 0)) {
        // A Timeline keeps pictures by their file name alone.
        favourite->contactImagePath = folder + "/" + lastComponent(*picture);
    }
    if (auto status = textValue(row, 1)) {
        favourite->contactStatu = *status;
    }
    if (auto id = textValue(row, 2)) {
        favourite->whatsAppID = *id;
    }
    favourite->contactName =
        lookups.getContactNameByWhatsAppNumber(favourite->whatsAppID).value_or("");
    return favourite;
}

std::optional<std::string> callLogOf(const ScanState& state, const std::string& folder) {
    std::vector<std::string> candidates{folder + "/calls.log",
                                        folder + "/" + std::string(kAppCallLogKey)};
    if (!state.index.whatsAppChatPath.empty()) {
        candidates.push_back(folder + "/" + state.index.whatsAppChatPath);
    }
    for (std::string& path : candidates) {
        if (BackupFileLocator::exists(path)) {
            return std::move(path);
        }
    }
    return std::nullopt;
}

}  // namespace

void ScanTimelineBackupMediaWithPath(ScanState& state, const std::string& folder) {
    if (folder.empty() || !isFolder(folder)) {
        SystemLog::write(kMissing);
        return;
    }
    for (const std::string& relative : filesBelow(folder)) {
        KTTreeDirNode entry;
        entry.filePath = lastComponent(relative);
        entry.fileKey = folder + "/" + relative;
        state.index.wpMediaArray.push_back(entry);
        state.whatsAppResourceArray.push_back(std::move(entry));
    }
}

void getTimelineWhatsAppFavateContact(ScanState& state, const std::string& folder) {
    const std::string source = folder + "/Contacts.sqlite";
    if (folder.empty() || !BackupFileLocator::exists(source)) {
        SystemLog::write(kMissing);
        return;
    }
    std::optional<std::string> copy = state.databaseCopy(source);
    SqliteDatabase db;
    if (!copy || db.open(*copy, SqliteDatabase::Mode::ReadOnly) != SQLITE_OK) {
        return;
    }
    SqliteStatement rows;
    if (rows.prepare(db, "select ZPICTUREPATH,ZTEXT,ZWHATSAPPID from ZWASTATUS") != SQLITE_OK) {
        return;
    }
    // Only names are looked up here; the list being filled is not searched.
    const std::vector<KTWhatsAppFavContactPtr> noFavourites;
    ContactLookups lookups(state.contactArray, noFavourites);
    while (rows.step() == SQLITE_ROW) {
        KTWhatsAppFavContactPtr favourite = favouriteFromStatus(rows, folder, lookups);
        state.wpfContactArray.push_back(favourite);
        state.whatsAppFavContactArray.push_back(std::move(favourite));
    }
}

void getTimelineWhatsAppFavateCall(ScanState& state, const std::string& folder) {
    std::optional<std::string> path = folder.empty() ? std::nullopt : callLogOf(state, folder);
    if (!path) {
        SystemLog::write(kMissing);
        return;
    }
    readCallArchive(state, *path, timelineCallArchiveRules());
}

}  // namespace vessamo
