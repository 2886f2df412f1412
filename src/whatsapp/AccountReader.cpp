#include "whatsapp/AccountReader.h"

#include "backup/BackupFileLocator.h"
#include "backup/SourceDatabase.h"
#include "common/PhoneNumberKeys.h"
#include "common/PlistValue.h"
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

// The phone's locale ("en_US") in its global preferences, which tells the
// region of numbers saved without a country code.
std::string localeRegionOf(const ScanState& state, const std::string& folder) {
    using L = BackupFileLocator;
    const std::string path =
        L::keyPath(folder, L::fileKey("HomeDomain", "Library/Preferences/.GlobalPreferences.plist"),
                   state.biOS10version);
    if (!L::exists(path)) {
        return {};
    }
    auto plist = PlistValue::fromFile(PathWithin{folder, path});
    if (!plist || plist->asDictionary() == nullptr) {
        return {};
    }
    return regionOfLocale(plist->stringFor("AppleLocale").value_or(""));
}

// The account of the app's preferences. A preferences file that is there
// but no property list is damage, said as such; a missing one is not.
KTWhatsAppIDInfo readAccount(ScanState& state, const PathWithin& preferences) {
    KTWhatsAppIDInfo account;
    auto plist = PlistValue::fromFile(preferences);
    if (!plist || plist->asDictionary() == nullptr) {
        if (BackupFileLocator::exists(preferences.path)) {
            state.note("getWhatsAppIDInfo",
                       Status::corrupt(state.nameOf(preferences.path) +
                                       " is damaged: it is no property list of settings"));
        }
        return account;
    }
    const auto text = [&](std::string_view key) {
        return state.intern(plist->stringFor(key).value_or(""));
    };
    account.whatsAppCurrentStatus = text("CurrentStatusText");
    account.whatsAppNodeName = text("FullUserName");
    account.whatsAppNodeNumber = text("OwnJabberID");
    return account;
}

}  // namespace

Status getWhatsAppIDInfo(ScanState& state, const std::string& folder) {
    if (folder.empty()) {
        return Status();
    }
    state.currentNodeInfo = readAccount(state, {folder, preferencesFile(state, folder)});
    state.currentNodeInfo->localeRegion = state.intern(localeRegionOf(state, folder));
    auto chat = findChatDatabase(state, folder);
    if (!chat) {
        state.currentNodeInfo.reset();
        return Status::notFound("WhatsAppMessageDB is not exist");
    }
    SourceDatabase db(state, chat->path);
    const bool groupContainer = chat->groupContainer;
    readPictures(state, db, [&state, groupContainer](std::string_view stored) {
        return indexedProfilePicture(state.index, stored, groupContainer);
    });
    readConversations(state, db, StarredList::Add);
    readGroupMembers(state, db);
    state.reporter.progress(78);
    return db.status();
}

}  // namespace vessamo
