#pragma once

#include <cstdint>
#include <optional>

#include "common/Text.h"

namespace vessamo {

// Where a conversation's messages lie in the list of the result that holds
// it (ScanResult::messagesOf reads them).
struct MessageSpan {
    uint32_t first = 0;
    uint32_t count = 0;
};

// One conversation.
struct KTWhatsAppCovNode {
    std::optional<Text> currentSubject = Text();  // nullopt: no status known
    Text currentChatName;
    std::optional<Text> currentChatNumber = Text();  // nullopt: starred list
    int32_t chatID = -1;
    bool isGroupCov = false;
    bool bDeleted = false;  // exists only because deleted messages were recovered for it
    bool bStarredCovMessage = false;
    std::optional<Text> groupChatImagePath = Text();
    MessageSpan appNodeArray;  // its messages, in row order
};

inline constexpr int32_t kStarredChatID = 9999;

// The pseudo-conversation that gathers the starred messages of every chat.
[[nodiscard]] inline KTWhatsAppCovNode makeStarredConversation() {
    KTWhatsAppCovNode starred;
    starred.chatID = kStarredChatID;
    starred.isGroupCov = true;
    starred.bStarredCovMessage = true;
    starred.groupChatImagePath = std::nullopt;
    starred.currentChatNumber = std::nullopt;
    starred.currentSubject = Text("Here are Starred Messages");
    starred.currentChatName = "Starred Messages";
    return starred;
}

}  // namespace vessamo
