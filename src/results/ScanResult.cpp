#include "results/ScanResult.h"

#include <algorithm>

namespace vessamo {

MessageRange ScanResult::messagesOf(const KTWhatsAppCovNode& conversation) const {
    if (conversation.bStarredCovMessage) {
        return MessageRange(WhatsAppChatArray.data(), starredMessages.data(),
                            starredMessages.size());
    }
    const MessageSpan span = conversation.appNodeArray;
    const size_t end = static_cast<size_t>(span.first) + span.count;
    if (conversation.bDeleted) {
        if (end > recoveredMessages.size()) {
            return MessageRange();  // a record made by hand that points nowhere
        }
        return MessageRange(recoveredMessages.data() + span.first, span.count);
    }
    if (end > chatOrder.size()) {
        return MessageRange();
    }
    return MessageRange(WhatsAppChatArray.data(), chatOrder.data() + span.first, span.count);
}

std::optional<std::string_view> ScanResult::recoveredOriginOf(const KTWhatsAppNode& message) const {
    const RecoveredOrigin key{message.messageContent.data(),
                              message.chatID,
                              message.messageDate ? message.messageDate->seconds : -1,
                              {}};
    const auto found = std::lower_bound(recoveredOrigins.begin(), recoveredOrigins.end(), key);
    if (found == recoveredOrigins.end() || !(*found == key)) {
        return std::nullopt;
    }
    return found->place;
}

void ScanResult::indexMediaTimes() {
    mediaByPath_.clear();
    for (size_t i = 0; i < WhatsAppChatArray.size(); ++i) {
        if (!WhatsAppChatArray[i].messageAttchpath.empty()) {
            mediaByPath_.push_back(static_cast<uint32_t>(i));
        }
    }
    std::stable_sort(mediaByPath_.begin(), mediaByPath_.end(), [this](uint32_t a, uint32_t b) {
        return WhatsAppChatArray[a].messageAttchpath.view() <
               WhatsAppChatArray[b].messageAttchpath.view();
    });
}

std::optional<AppleTime> ScanResult::mediaTime(std::string_view storedPath) const {
    const auto pathOf = [this](uint32_t at) {
        return WhatsAppChatArray[at].messageAttchpath.view();
    };
    auto last =
        std::upper_bound(mediaByPath_.begin(), mediaByPath_.end(), storedPath,
                         [&](std::string_view path, uint32_t at) { return path < pathOf(at); });
    if (last == mediaByPath_.begin() || pathOf(*std::prev(last)) != storedPath) {
        return std::nullopt;
    }
    return WhatsAppChatArray[*std::prev(last)].messageDate;
}

}  // namespace vessamo
