#include "results/ConversationFiller.h"

#include <algorithm>
#include <iterator>

namespace vessamo {

void fillConversation(KTWhatsAppCovNode& conversation,
                      const std::vector<KTWhatsAppNodePtr>& messages) {
    if (conversation.hasload || conversation.bDeleted) {
        return;
    }
    for (const KTWhatsAppNodePtr& message : messages) {
        if (message->chatID == conversation.chatID ||
            (conversation.bStarredCovMessage && message->bStarredMessage)) {
            conversation.appNodeArray.push_back(message);
        }
    }
    conversation.hasload = true;
}

ConversationFiller::ConversationFiller(const std::vector<KTWhatsAppNodePtr>& messages)
    : messages_(messages) {
    // Counted first so every list is allocated once, at its size: a large
    // export should not hold twice the room its chats need.
    std::unordered_map<int32_t, size_t> counts;
    for (const KTWhatsAppNodePtr& message : messages) {
        ++counts[message->chatID];
    }
    for (const auto& [chat, count] : counts) {
        byChat_[chat].reserve(count);
    }
    for (size_t i = 0; i < messages.size(); ++i) {
        const auto position = static_cast<uint32_t>(i);
        byChat_[messages[i]->chatID].push_back(position);
        if (messages[i]->bStarredMessage) {
            starred_.push_back(position);
        }
    }
}

void ConversationFiller::fillOwnMessagesOnly(KTWhatsAppCovNode& conversation) const {
    if (conversation.hasload || conversation.bDeleted) {
        return;
    }
    auto found = byChat_.find(conversation.chatID);
    if (found != byChat_.end()) {
        conversation.appNodeArray.reserve(conversation.appNodeArray.size() + found->second.size());
        for (uint32_t at : found->second) {
            conversation.appNodeArray.push_back(messages_[at]);
        }
    }
    conversation.hasload = true;
}

void ConversationFiller::fill(KTWhatsAppCovNode& conversation) const {
    if (!conversation.bStarredCovMessage) {
        fillOwnMessagesOnly(conversation);
        return;
    }
    if (conversation.hasload || conversation.bDeleted) {
        return;
    }
    // The starred list: its own key's messages and every starred one, in
    // list order, each once.
    std::vector<uint32_t> positions;
    auto found = byChat_.find(conversation.chatID);
    const std::vector<uint32_t> none;
    const std::vector<uint32_t>& own = found != byChat_.end() ? found->second : none;
    std::set_union(own.begin(), own.end(), starred_.begin(), starred_.end(),
                   std::back_inserter(positions));
    for (uint32_t at : positions) {
        conversation.appNodeArray.push_back(messages_[at]);
    }
    conversation.hasload = true;
}

ConversationBatches::ConversationBatches(const std::vector<KTWhatsAppNodePtr>& messages,
                                         const std::vector<KTWhatsAppCovNodePtr>& conversations,
                                         size_t messagesPerRun)
    : messages_(messages), conversations_(conversations), messagesPerRun_(messagesPerRun) {
    for (const KTWhatsAppNodePtr& message : messages) {
        ++counts_[message->chatID];
    }
}

namespace {

bool needsFilling(const KTWhatsAppCovNodePtr& conversation) {
    return conversation && !conversation->hasload && !conversation->bDeleted;
}

}  // namespace

ConversationBatches::Batch ConversationBatches::next() {
    Batch batch;
    const size_t first = next_;
    size_t messages = 0;
    std::unordered_map<int32_t, std::vector<KTWhatsAppCovNode*>> byChat;
    // At least one conversation a run, however long it is.
    while (next_ < conversations_.size() && (next_ == first || messages < messagesPerRun_)) {
        const KTWhatsAppCovNodePtr& conversation = conversations_[next_++];
        const bool fill = needsFilling(conversation);
        batch.filledHere.push_back(fill);
        if (fill) {
            const auto count = counts_.find(conversation->chatID);
            const size_t own = count != counts_.end() ? count->second : 0;
            conversation->appNodeArray.reserve(conversation->appNodeArray.size() + own);
            messages += own;
            byChat[conversation->chatID].push_back(conversation.get());
        }
    }
    if (!byChat.empty()) {
        for (const KTWhatsAppNodePtr& message : messages_) {
            const auto found = byChat.find(message->chatID);
            if (found != byChat.end()) {
                for (KTWhatsAppCovNode* conversation : found->second) {
                    conversation->appNodeArray.push_back(message);
                }
            }
        }
        for (const auto& entry : byChat) {
            for (KTWhatsAppCovNode* conversation : entry.second) {
                conversation->hasload = true;
            }
        }
    }
    batch.conversations = std::span(conversations_).subspan(first, next_ - first);
    return batch;
}

void ConversationBatches::giveBack(KTWhatsAppCovNode& conversation) {
    std::vector<KTWhatsAppNodePtr>().swap(conversation.appNodeArray);  // its room too
    conversation.hasload = false;
}

}  // namespace vessamo
