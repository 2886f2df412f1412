#include "whatsapp/ConversationReader.h"

#include <unordered_map>

#include "common/WhatsAppIds.h"
#include "whatsapp/ColumnValues.h"
#include "whatsapp/ContactLookups.h"

namespace vessamo {

namespace {

// The first picture record of each JID, as a walk in order would find it.
std::unordered_map<std::string, const KTWhatAppGroupInfo*> firstPictureByJid(
    const ScanState& state) {
    std::unordered_map<std::string, const KTWhatAppGroupInfo*> pictures;
    for (const KTWhatAppGroupInfoPtr& picture : state.whatsAppGroupInfoArray) {
        pictures.emplace(picture->groupzjid, picture.get());
    }
    return pictures;
}

}  // namespace

void readPictures(ScanState& state, const SqliteDatabase& chatDatabase,
                  const PictureResolver& resolve) {
    SqliteStatement query;
    if (query.prepare(chatDatabase, "select ZJID,ZPATH from ZWAPROFILEPICTUREITEM") != SQLITE_OK) {
        return;
    }
    while (query.step() == SQLITE_ROW) {
        auto picture = std::make_shared<KTWhatAppGroupInfo>();
        if (auto jid = textValue(query, 0)) {
            picture->groupzjid = *jid;
        }
        if (auto stored = textValue(query, 1)) {
            picture->groupImagePath = resolve(*stored);
        }
        state.whatsAppGroupInfoArray.push_back(std::move(picture));
    }
}

void readConversations(ScanState& state, const SqliteDatabase& chatDatabase, StarredList starred) {
    SqliteStatement query;
    if (query.prepare(chatDatabase,
                      "select Z_PK,ZGROUPINFO,ZCONTACTJID,ZPARTNERNAME from ZWACHATSESSION") ==
        SQLITE_OK) {
        auto pictures = firstPictureByJid(state);
        ContactLookups lookups(state.contactArray, state.whatsAppFavContactArray);
        while (query.step() == SQLITE_ROW) {
            auto chat = std::make_shared<KTWhatsAppCovNode>();
            chat->chatID = intValue(query, 0).value_or(0);
            chat->isGroupCov = hasValue(query, 1);
            if (auto jid = textValue(query, 2)) {
                auto picture = pictures.find(*jid);
                if (picture != pictures.end()) {
                    chat->groupChatImagePath = picture->second->groupImagePath;
                }
                chat->currentChatNumber = *jid;
            }
            if (auto partner = textValue(query, 3)) {
                if (chat->isGroupCov) {
                    chat->currentSubject = *partner;
                    chat->currentChatName = "Group Chat";
                } else {
                    chat->currentChatName = *partner;
                    chat->currentSubject = lookups.getContactStatuByWhatsAppID(
                        whatsAppNumber(chat->currentChatNumber.value_or("")));
                }
            }
            state.wpConvChatArray.push_back(std::move(chat));
        }
    }
    if (starred == StarredList::Add) {
        state.wpConvChatArray.push_back(makeStarredConversation());
    }
}

void readGroupMembers(ScanState& state, const SqliteDatabase& chatDatabase) {
    SqliteStatement query;
    if (query.prepare(chatDatabase, "select Z_PK,ZCONTACTNAME,ZMEMBERJID from ZWAGROUPMEMBER") !=
        SQLITE_OK) {
        return;
    }
    while (query.step() == SQLITE_ROW) {
        auto member = std::make_shared<KTWhatAppGroupMember>();
        if (auto id = intValue(query, 0)) {
            member->groupMemberID = *id;
        }
        if (auto name = textValue(query, 1)) {
            member->groupMemberName = *name;
        }
        if (auto jid = textValue(query, 2)) {
            member->groupMemberAppID = *jid;
        }
        state.whatsAppGroupMemberArray.push_back(std::move(member));
    }
}

}  // namespace vessamo
