#pragma once

#include <cstdint>
#include <span>
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

// Fills conversations a run at a time, for exports that write a chat and let
// its list go again: only the lists of the run at hand exist at once, and no
// index of the whole message list is kept. Each run costs one pass over the
// list, and a run holds about messagesPerRun messages, so the passes stay few.
class ConversationBatches {
public:
    struct Batch {
        std::span<const KTWhatsAppCovNodePtr> conversations;
        // Per conversation: filled by this run (its own messages only), and
        // so the caller's to give back once written.
        std::vector<bool> filledHere;
    };

    ConversationBatches(const std::vector<KTWhatsAppNodePtr>& messages,
                        const std::vector<KTWhatsAppCovNodePtr>& conversations,
                        size_t messagesPerRun = 1 << 17);

    // The next run, in list order; empty once every conversation was handed out.
    [[nodiscard]] Batch next();

    // Empties the lists a run filled, as if it had never been filled.
    static void giveBack(KTWhatsAppCovNode& conversation);

private:
    const std::vector<KTWhatsAppNodePtr>& messages_;
    const std::vector<KTWhatsAppCovNodePtr>& conversations_;
    size_t messagesPerRun_;
    size_t next_ = 0;
    std::unordered_map<int32_t, size_t> counts_;  // messages per chat key
};

}  // namespace vessamo
