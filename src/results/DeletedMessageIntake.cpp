#include "results/DeletedMessageIntake.h"

#include "results/ScanResult.h"

namespace vessamo {

namespace {

std::string pairKey(const KTWhatsAppNode& message) {
    std::string key(message.messageName);
    key += '\0';
    key += message.messageContent;
    return key;
}

// Names count in characters, not bytes.
size_t characterCount(std::string_view text) {
    size_t count = 0;
    for (unsigned char c : text) {
        count += (c & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

// A chat is named after the other party: what the owner sent carries the
// owner's own name.
Text titleOf(const KTWhatsAppNode& message) {
    return message.messageType == Direction::Send ? Text() : message.messageName;
}

}  // namespace

void DeletedMessageIntake::addResource(const KTWhatsAppNode& message) {
    KTWhatsAppResourceNode resource;
    resource.nodeSize = "4.00K";
    if (!message.vcardInfo.empty()) {
        resource.nodeName = message.vcardName;
        resource.nodeType = "VCard";
        resource.textContent = message.vcardInfo;
    } else if (!message.locationInfo.empty()) {
        resource.nodeName = "Location";
        resource.nodeType = "Location";
        resource.textContent = message.locationInfo;
    } else {
        return;
    }
    resources_.push_back(resource);
}

void DeletedMessageIntake::take(const KTWhatsAppNode& message) {
    addResource(message);
    if (auto found = byChat_.find(message.chatID); found != byChat_.end()) {
        Conversation& conversation = conversations_[found->second];
        if (conversation.record.currentChatName.empty() && characterCount(titleOf(message)) >= 2) {
            conversation.record.currentChatName = titleOf(message);
        }
        if (conversation.seen.insert(pairKey(message)).second) {
            conversation.messages.push_back(message);
        }
        return;
    }
    Conversation conversation;
    conversation.record.currentChatName = titleOf(message);
    conversation.record.currentSubject = Text("UnknownSubject");
    conversation.record.chatID = message.chatID;
    conversation.record.bDeleted = true;
    conversation.messages.push_back(message);
    conversation.seen.insert(pairKey(message));
    byChat_.emplace(message.chatID, conversations_.size());
    conversations_.push_back(std::move(conversation));
}

size_t DeletedMessageIntake::messageCount() const {
    size_t count = 0;
    for (const Conversation& conversation : conversations_) {
        count += conversation.messages.size();
    }
    return count;
}

void DeletedMessageIntake::moveInto(ScanResult& result) {
    result.recoveredMessages.reserve(result.recoveredMessages.size() + messageCount());
    for (Conversation& conversation : conversations_) {
        conversation.record.appNodeArray.first =
            static_cast<uint32_t>(result.recoveredMessages.size());
        conversation.record.appNodeArray.count =
            static_cast<uint32_t>(conversation.messages.size());
        result.recoveredMessages.insert(result.recoveredMessages.end(),
                                        conversation.messages.begin(), conversation.messages.end());
        result.whatsAppArray.push_back(conversation.record);
    }
    result.someResourceArray.insert(result.someResourceArray.end(), resources_.begin(),
                                    resources_.end());
    *this = DeletedMessageIntake();
}

}  // namespace vessamo
