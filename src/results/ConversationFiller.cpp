#include "results/ConversationFiller.h"

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

}  // namespace vessamo
