#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "results/KTWhatsAppCovNode.h"

namespace vessamo {

// Gathers a conversation's messages from the scan's message list on first
// use, in list order. The starred list also takes every starred message.
// Deleted-only conversations already hold theirs and are left alone.
void fillConversation(KTWhatsAppCovNode& conversation,
                      const std::vector<KTWhatsAppNodePtr>& messages);

// The same filling for many conversations of one list: the list is sorted
// into chats once, so filling every chat of a million messages costs one
// pass instead of one pass per chat. Results are those of fillConversation.
class ConversationFiller {
public:
    explicit ConversationFiller(const std::vector<KTWhatsAppNodePtr>& messages);

    void fill(KTWhatsAppCovNode& conversation) const;
    // As the exports fill: the chat's own messages only, the starred ones
    // of other chats left out.
    void fillOwnMessagesOnly(KTWhatsAppCovNode& conversation) const;

private:
    const std::vector<KTWhatsAppNodePtr>& messages_;
    // Positions in the list. Four bytes are plenty: a list of four billion
    // messages would not fit in memory in the first place.
    std::unordered_map<int32_t, std::vector<uint32_t>> byChat_;
    std::vector<uint32_t> starred_;
};

}  // namespace vessamo
