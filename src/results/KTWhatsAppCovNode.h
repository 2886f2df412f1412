#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "results/KTWhatsAppNode.h"

namespace vessamo {

// One conversation. Its messages are shared with the scan's message list, so
// a mark set in one view shows in every other.
struct KTWhatsAppCovNode {
    std::vector<KTWhatsAppNodePtr> appNodeArray;
    std::optional<std::string> currentSubject = std::string();  // nullopt: no status known
    std::string currentChatName;
    std::optional<std::string> currentChatNumber = std::string();  // nullopt: starred list
    int32_t chatID = -1;
    bool isGroupCov = false;
    bool bSelected = false;
    bool bDeleted = false;  // exists only because deleted messages were recovered for it
    bool hasload = false;
    std::optional<std::string> groupChatImagePath = std::string();
    bool bStarredCovMessage = false;
};

using KTWhatsAppCovNodePtr = std::shared_ptr<KTWhatsAppCovNode>;

inline constexpr int32_t kStarredChatID = 9999;

// The pseudo-conversation that gathers the starred messages of every chat.
[[nodiscard]] inline KTWhatsAppCovNodePtr makeStarredConversation() {
    auto starred = std::make_shared<KTWhatsAppCovNode>();
    starred->chatID = kStarredChatID;
    starred->isGroupCov = true;
    starred->bStarredCovMessage = true;
    starred->groupChatImagePath = std::nullopt;
    starred->currentChatNumber = std::nullopt;
    starred->currentSubject = "Here are Starred Messages";
    starred->currentChatName = "Starred Messages";
    return starred;
}

}  // namespace vessamo
