#include "whatsapp/PushNameChatReaders.h"

#include "backup/BackupFileLocator.h"
#include "backup/SourceDatabase.h"
#include "whatsapp/ConversationReader.h"
#include "whatsapp/MessageReader.h"
#include "whatsapp/PicturePaths.h"

namespace vessamo {

namespace {

constexpr const char* kMissing = "WhatsAppMessageDB is not exist";

std::string chatStorageOf(const std::string& folder) {
    return folder + "/ChatStorage.sqlite";
}

// nullopt when the folder has no chat database, else what reading it said.
std::optional<Status> readChatsAndMembers(ScanState& state, const std::string& folder,
                                          const PictureResolver& resolve) {
    const std::string chat = chatStorageOf(folder);
    if (!BackupFileLocator::exists(chat)) {
        return std::nullopt;
    }
    SourceDatabase db(state, chat);
    readPictures(state, db, resolve);
    readConversations(state, db, StarredList::None);
    readGroupMembers(state, db);
    return db.status();
}

Status readPushNameMessages(ScanState& state, const std::string& folder, MessageSource source) {
    if (folder.empty()) {
        return Status();
    }
    state.currentScanPath = chatStorageOf(folder);
    if (!BackupFileLocator::exists(state.currentScanPath)) {
        return Status::notFound(kMissing);
    }
    Status read;
    {
        SourceDatabase db(state, state.currentScanPath);
        read = readMessageTable(state, db, source, folder);
    }
    state.reporter.progress(80);
    return read;
}

}  // namespace

Status getiCloudWhatsAppIDInfo(ScanState& state, const std::string& folder) {
    if (folder.empty()) {
        return Status();
    }
    auto read = readChatsAndMembers(state, folder, [&state](std::string_view stored) {
        return indexedProfilePicture(state.index, stored, false);
    });
    if (!read) {
        return Status::notFound(kMissing);
    }
    state.reporter.progress(78);
    return *read;
}

Status scaniCloudWhatsAppMessageThread(ScanState& state, const std::string& folder) {
    return readPushNameMessages(state, folder, MessageSource::ICloudDrive);
}

Status getTimelineWhatsAppIDInfo(ScanState& state, const std::string& folder) {
    if (folder.empty()) {
        return Status();
    }
    auto read = readChatsAndMembers(state, folder, [&state, &folder](std::string_view stored) {
        return std::optional<Text>(state.intern(timelinePicture(folder, stored)));
    });
    return read ? *read : Status::notFound(kMissing);
}

Status scanTimelineWhatsAppMessageThread(ScanState& state, const std::string& folder) {
    return readPushNameMessages(state, folder, MessageSource::Timeline);
}

}  // namespace vessamo
