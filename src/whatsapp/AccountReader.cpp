#include "whatsapp/AccountReader.h"

#include "backup/BackupFileLocator.h"
#include "common/NotificationCenter.h"
#include "common/PlistValue.h"
#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"
#include "whatsapp/ChatDatabaseLocator.h"
#include "whatsapp/ConversationReader.h"
#include "whatsapp/PicturePaths.h"

namespace vessamo {

namespace {

constexpr const char* kSharedPreferences = "be7e71b773c6d7d4114a8acf0529f623f3884bfb";
constexpr const char* kAppPreferences = "b3f5945694120cbb23254422a4dca514f32917bc";

// The shared container's preferences by layout, then the app's own. The
// app's file is looked for in the flat form and, for backups of the
// two-level layout, in that form too.
std::string preferencesFile(const ScanState& state, const std::string& folder) {
    using L = BackupFileLocator;
    std::string shared = L::keyPath(folder, kSharedPreferences, state.biOS10version);
    if (L::exists(shared)) {
        return shared;
    }
    std::string flat = L::keyPath(folder, kAppPreferences, false);
    std::string twoLevel = L::keyPath(folder, kAppPreferences, true);
    return (!L::exists(flat) && L::exists(twoLevel)) ? twoLevel : flat;
}

KTWhatsAppIDInfoPtr readAccount(const std::string& preferences) {
    auto account = std::make_shared<KTWhatsAppIDInfo>();
    auto plist = PlistValue::fromFile(preferences);
    if (!plist || plist->asDictionary() == nullptr) {
        return account;
    }
    account->whatsAppCurrentStatus = plist->stringFor("CurrentStatusText").value_or("");
    account->whatsAppNodeName = plist->stringFor("FullUserName").value_or("");
    account->whatsAppNodeNumber = plist->stringFor("OwnJabberID").value_or("");
    return account;
}

}  // namespace

void getWhatsAppIDInfo(ScanState& state, const std::string& folder) {
    if (folder.empty()) {
        return;
    }
    state.currentNodeInfo = readAccount(preferencesFile(state, folder));
    auto chat = findChatDatabase(state, folder);
    if (!chat) {
        state.currentNodeInfo.reset();
        SystemLog::write("WhatsAppMessageDB is not exist");
        return;
    }
    auto copy = state.databaseCopy(chat->path);
    SqliteDatabase db;
    if (copy && db.open(*copy, SqliteDatabase::Mode::ReadOnly) == SQLITE_OK) {
        const bool groupContainer = chat->groupContainer;
        readPictures(state, db, [&state, groupContainer](const std::string& stored) {
            return indexedProfilePicture(state.index, stored, groupContainer);
        });
        readConversations(state, db, StarredList::Add);
        readGroupMembers(state, db);
    } else {
        state.wpConvChatArray.push_back(makeStarredConversation());
    }
    state.notifications.post("ScanProgressInfo", 78);
}

}  // namespace vessamo
