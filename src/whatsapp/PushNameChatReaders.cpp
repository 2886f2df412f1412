#include "whatsapp/PushNameChatReaders.h"

#include <filesystem>
#include <optional>

#include "common/NotificationCenter.h"
#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"
#include "whatsapp/ConversationReader.h"
#include "whatsapp/MessageReader.h"
#include "whatsapp/PicturePaths.h"

namespace vessamo {

namespace {

// The folder's chat database, logged when missing. An empty folder is no
// source at all and returns quietly.
std::optional<std::string> chatStorageOf(const std::string& folder) {
    if (folder.empty()) {
        return std::nullopt;
    }
    std::string path = folder + "/ChatStorage.sqlite";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        SystemLog::write("WhatsAppMessageDB is not exist");
        return std::nullopt;
    }
    return path;
}

// Opens the private copy of a source database; false leaves db closed.
bool openCopy(ScanState& state, const std::string& source, SqliteDatabase& db) {
    auto copy = state.databaseCopy(source);
    return copy && db.open(*copy, SqliteDatabase::Mode::ReadOnly) == SQLITE_OK;
}

// False when the folder has no chat database.
bool readChatsAndMembers(ScanState& state, const std::string& folder,
                         const PictureResolver& resolve) {
    auto chat = chatStorageOf(folder);
    if (!chat) {
        return false;
    }
    SqliteDatabase db;
    if (openCopy(state, *chat, db)) {
        readPictures(state, db, resolve);
        readConversations(state, db, StarredList::None);
        readGroupMembers(state, db);
    }
    return true;
}

void readPushNameMessages(ScanState& state, const std::string& folder, MessageSource source) {
    if (folder.empty()) {
        return;
    }
    state.currentScanPath = folder + "/ChatStorage.sqlite";
    auto chat = chatStorageOf(folder);
    if (!chat) {
        return;
    }
    {
        SqliteDatabase db;
        if (openCopy(state, *chat, db)) {
            readMessageTable(state, db, source, folder);
        }
    }
    state.notifications.post("ScanProgressInfo", 80);
}

}  // namespace

void getiCloudWhatsAppIDInfo(ScanState& state, const std::string& folder) {
    const bool found = readChatsAndMembers(state, folder, [&state](const std::string& stored) {
        return indexedProfilePicture(state.index, stored, false);
    });
    if (found) {
        state.notifications.post("ScanProgressInfo", 78);
    }
}

void scaniCloudWhatsAppMessageThread(ScanState& state, const std::string& folder) {
    readPushNameMessages(state, folder, MessageSource::ICloudDrive);
}

void getTimelineWhatsAppIDInfo(ScanState& state, const std::string& folder) {
    readChatsAndMembers(state, folder, [&folder](const std::string& stored) {
        return std::optional<std::string>(timelinePicture(folder, stored));
    });
}

void scanTimelineWhatsAppMessageThread(ScanState& state, const std::string& folder) {
    readPushNameMessages(state, folder, MessageSource::Timeline);
}

}  // namespace vessamo
