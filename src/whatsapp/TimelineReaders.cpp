#include "whatsapp/TimelineReaders.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "backup/BackupFileLocator.h"
#include "backup/SourceDatabase.h"
#include "common/ConfinedFiles.h"
#include "common/Files.h"
#include "whatsapp/CallLogReader.h"
#include "whatsapp/ColumnValues.h"
#include "whatsapp/ContactLookups.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

constexpr const char* kMissing = "WhatsAppMessageDB is not exist";
// Documents/calls.log of the app's own domain, the name a scan-made
// Timeline gives the call log it copied from an older backup.
constexpr std::string_view kAppCallLogKey = "21ae65d600415978a2e08e7969270e078247c1b5";

bool isFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// Relative paths of the regular files below the folder. Links are not
// followed: a Timeline holds none of its own, and one placed there must not
// list files from elsewhere. Links and other non-folders are counted in
// skipped.
std::vector<std::string> filesBelow(const std::string& folder, size_t& skipped) {
    std::vector<std::string> files;
    std::error_code ec;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                          ec);
    for (const fs::recursive_directory_iterator end; !ec && walk != end; walk.increment(ec)) {
        std::error_code statusError;
        const fs::file_type type = walk->symlink_status(statusError).type();
        if (type != fs::file_type::regular) {
            skipped += type == fs::file_type::directory ? 0 : 1;
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

KTWhatsAppFavContact favouriteFromStatus(ScanState& state, const SqliteStatement& row,
                                         const std::string& folder, ContactLookups& lookups) {
    KTWhatsAppFavContact favourite;
    if (auto picture = textValue(row, 0)) {
        // A Timeline keeps pictures by their file name alone.
        favourite.contactImagePath =
            state.intern(folder + "/" + std::string(lastComponent(*picture)));
    }
    if (auto status = textValue(row, 1)) {
        favourite.contactStatu = state.keep(*status);
    }
    if (auto id = textValue(row, 2)) {
        favourite.whatsAppID = state.intern(*id);
    }
    favourite.contactName =
        lookups.getContactNameByWhatsAppNumber(favourite.whatsAppID).value_or(Text());
    return favourite;
}

std::optional<std::string> callLogOf(const ScanState& state, const std::string& folder) {
    std::vector<std::string> candidates{folder + "/calls.log",
                                        folder + "/" + std::string(kAppCallLogKey)};
    // A name from a catalogue must not lead out of the folder.
    if (isPlainRelativePath(state.index.whatsAppChatPath)) {
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

std::optional<std::string> keptBackupOf(const std::string& timeline) {
    if (timeline.empty()) {
        return std::nullopt;
    }
    std::string kept = timeline + "/" + kKeptBackupFolder;
    // Regular files and folders only: a link planted there must not lead
    // the read out of the Timeline.
    std::error_code ec;
    if (fs::symlink_status(kept, ec).type() != fs::file_type::directory ||
        fs::symlink_status(kept + "/Manifest.db", ec).type() != fs::file_type::regular) {
        return std::nullopt;
    }
    return kept;
}

Status markTimelineRecords(ScanState& state, const std::string& /*folder*/) {
    for (KTWhatsAppNode& message : state.wpChatArray) {
        message.bTimelineNode = true;
    }
    return Status();
}

Status ScanTimelineBackupMediaWithPath(ScanState& state, const std::string& folder) {
    if (folder.empty() || !isFolder(folder)) {
        return Status::notFound(kMissing);
    }
    for (const std::string& relative : filesBelow(folder, state.index.skippedFiles)) {
        KTTreeDirNode& entry = state.index.wpMediaArray.emplace_back();
        entry.fileKey = state.keep(std::string_view(folder + "/" + relative));
        entry.filePath = Text::borrowed(lastComponent(entry.fileKey));
    }
    return Status();
}

Status getTimelineWhatsAppFavateContact(ScanState& state, const std::string& folder) {
    const std::string source = folder + "/Contacts.sqlite";
    if (folder.empty() || !BackupFileLocator::exists(source)) {
        return Status::notFound(kMissing);
    }
    SourceDatabase db(state, source);
    SqliteStatement rows;
    if (!db.prepare(rows, "select ZPICTUREPATH,ZTEXT,ZWHATSAPPID from ZWASTATUS")) {
        return db.status();
    }
    // Only names are looked up here; the list being filled is not searched.
    const std::vector<KTWhatsAppFavContact> noFavourites;
    ContactLookups lookups(state.contactArray, noFavourites);
    while (db.step(rows)) {
        state.whatsAppFavContactArray.push_back(favouriteFromStatus(state, rows, folder, lookups));
    }
    return db.status();
}

Status getTimelineWhatsAppFavateCall(ScanState& state, const std::string& folder) {
    std::optional<std::string> path = folder.empty() ? std::nullopt : callLogOf(state, folder);
    if (!path) {
        return Status::notFound(kMissing);
    }
    readTimelineCallArchive(state, {folder, *path});
    return Status();
}

}  // namespace vessamo
