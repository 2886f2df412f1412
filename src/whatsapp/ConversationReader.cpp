#include "whatsapp/ConversationReader.h"

#include <string>
#include <unordered_map>

#include "common/WhatsAppIds.h"
#include "whatsapp/ColumnValues.h"
#include "whatsapp/ContactLookups.h"

namespace vessamo {

namespace {

// The first picture record of each JID, as a walk in order would find it.
std::unordered_map<std::string_view, const KTWhatAppGroupInfo*> firstPictureByJid(
    const ScanState& state) {
    std::unordered_map<std::string_view, const KTWhatAppGroupInfo*> pictures;
    for (const KTWhatAppGroupInfo& picture : state.whatsAppGroupInfoArray) {
        pictures.emplace(picture.groupzjid, &picture);
    }
    return pictures;
}

std::optional<Text> internedPath(ScanState& state, const std::optional<std::string>& path) {
    return path ? std::optional<Text>(state.intern(*path)) : std::nullopt;
}

}  // namespace

void readPictures(ScanState& state, SourceDatabase& chatDatabase, const PictureResolver& resolve) {
    SqliteStatement query;
    if (!chatDatabase.prepare(query, "select ZJID,ZPATH from ZWAPROFILEPICTUREITEM")) {
        return;
    }
    while (chatDatabase.step(query)) {
        KTWhatAppGroupInfo& picture = state.whatsAppGroupInfoArray.emplace_back();
        if (auto jid = textValue(query, 0)) {
            picture.groupzjid = *jid;
        }
        if (auto stored = textValue(query, 1)) {
            auto file = resolve(*stored);
            picture.groupImagePath = file ? std::optional<std::string>(*file) : std::nullopt;
        }
    }
}

void readConversations(ScanState& state, SourceDatabase& chatDatabase, StarredList starred) {
    SqliteStatement query;
    if (chatDatabase.prepare(
            query, "select Z_PK,ZGROUPINFO,ZCONTACTJID,ZPARTNERNAME from ZWACHATSESSION")) {
        const auto pictures = firstPictureByJid(state);
        ContactLookups lookups = lookupsOf(state);
        while (chatDatabase.step(query)) {
            KTWhatsAppCovNode& chat = state.wpConvChatArray.emplace_back();
            chat.chatID = intValue(query, 0).value_or(0);
            chat.isGroupCov = hasValue(query, 1);
            if (auto jid = textValue(query, 2)) {
                if (auto picture = pictures.find(*jid); picture != pictures.end()) {
                    chat.groupChatImagePath = internedPath(state, picture->second->groupImagePath);
                }
                chat.currentChatNumber = state.intern(*jid);
            }
            if (auto partner = textValue(query, 3)) {
                if (chat.isGroupCov) {
                    chat.currentSubject = state.intern(*partner);
                    chat.currentChatName = "Group Chat";
                } else {
                    // The address book's name first, as for the chat's
                    // messages; WhatsApp's own name where it has none.
                    const std::string number =
                        whatsAppNumber(chat.currentChatNumber.value_or(Text()));
                    const auto known =
                        isLidJid(number) ? std::nullopt : lookups.getNameByPhoneNumber(number);
                    chat.currentChatName = state.intern(known.value_or(std::string(*partner)));
                    chat.currentSubject = lookups.getContactStatuByWhatsAppID(
                        whatsAppNumber(chat.currentChatNumber.value_or(Text())));
                }
            }
        }
    }
    if (starred == StarredList::Add) {
        state.wpConvChatArray.push_back(makeStarredConversation());
    }
}

void readGroupMembers(ScanState& state, SourceDatabase& chatDatabase) {
    SqliteStatement query;
    if (!chatDatabase.prepare(query, "select Z_PK,ZCONTACTNAME,ZMEMBERJID from ZWAGROUPMEMBER")) {
        return;
    }
    while (chatDatabase.step(query)) {
        KTWhatAppGroupMember& member = state.whatsAppGroupMemberArray.emplace_back();
        if (auto id = intValue(query, 0)) {
            member.groupMemberID = *id;
        }
        if (auto name = textValue(query, 1)) {
            member.groupMemberName = *name;
        }
        if (auto jid = textValue(query, 2)) {
            member.groupMemberAppID = *jid;
        }
    }
}

}  // namespace vessamo
