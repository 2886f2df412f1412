#include "results/DeletedMessageIntake.h"

#include <memory>

namespace vessamo {

namespace {

std::string pairKey(const KTWhatsAppNode& message) {
    std::string key = message.messageName;
    key += '\0';
    key += message.messageContent;
    return key;
}

// Names count in characters, not bytes.
size_t characterCount(const std::string& text) {
    size_t count = 0;
    for (unsigned char c : text) {
        count += (c & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

}  // namespace

void DeletedMessageIntake::clear() {
    whatsAppArray_.clear();
    someResourceArray_.clear();
    conversationByChat_.clear();
    seen_.clear();
}

void DeletedMessageIntake::addResource(const KTWhatsAppNode& message) {
    auto resource = std::make_shared<KTWhatsAppResourceNode>();
    resource->nodeSize = "4.00K";
    if (!message.vcardInfo.empty()) {
        resource->nodeName = message.vcardName;
        resource->nodeType = "VCard";
        resource->textContent = message.vcardInfo;
    } else if (!message.locationInfo.empty()) {
        resource->nodeName = "Location";
        resource->nodeType = "Location";
        resource->textContent = message.locationInfo;
    } else {
        return;
    }
    someResourceArray_.push_back(std::move(resource));
}

void DeletedMessageIntake::take(const KTWhatsAppNodePtr& message) {
    if (!message) {
        return;
    }
    addResource(*message);
    auto found = conversationByChat_.find(message->chatID);
    if (found != conversationByChat_.end()) {
        KTWhatsAppCovNode& conversation = *whatsAppArray_[found->second];
        if (conversation.currentChatName.empty() && characterCount(message->messageName) >= 2) {
            conversation.currentChatName = message->messageName;
        }
        if (seen_[found->second].insert(pairKey(*message)).second) {
            conversation.appNodeArray.push_back(message);
        }
        return;
    }
    auto conversation = std::make_shared<KTWhatsAppCovNode>();
    conversation->currentChatName = message->messageName;
    conversation->currentSubject = "UnknownSubject";
    conversation->chatID = message->chatID;
    conversation->bDeleted = true;
    conversation->appNodeArray.push_back(message);
    conversationByChat_.emplace(message->chatID, whatsAppArray_.size());
    seen_.push_back({pairKey(*message)});
    whatsAppArray_.push_back(std::move(conversation));
}

}  // namespace vessamo
