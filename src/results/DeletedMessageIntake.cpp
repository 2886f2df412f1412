#include "results/DeletedMessageIntake.h"

#include <algorithm>
#include <string_view>

#include "results/ScanResult.h"

namespace vessamo {

namespace {

// A repeat shows the same text by the same author at the same moment;
// the same short text sent twice ("Ok") is two messages.
std::string pairKey(const KTWhatsAppNode& message) {
    std::string key(message.messageName);
    key += '\0';
    key += message.messageContent;
    key += '\0';
    key += std::to_string(message.messageDate ? message.messageDate->seconds : -1);
    key += message.messageType == Direction::Send ? 'S' : 'R';
    return key;
}

constexpr size_t kNamedAuthors = 3;
constexpr Text kDeletedChatName = "Deleted chat";

// A deleted group is named after the members who wrote in it.
Text groupTitle(const std::vector<std::string>& authors, TextStore& texts) {
    if (authors.empty()) {
        return kDeletedChatName;
    }
    std::string title;
    for (size_t i = 0; i < authors.size() && i < kNamedAuthors; ++i) {
        if (i > 0) {
            title.append(", ");
        }
        title.append(authors[i]);
    }
    if (authors.size() > kNamedAuthors) {
        title += ", …";
    }
    return texts.intern(title);
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

DeletedMessageIntake::Conversation& DeletedMessageIntake::conversationOf(
    const KTWhatsAppNode& message) {
    if (auto found = byChat_.find(message.chatID); found != byChat_.end()) {
        return conversations_[found->second];
    }
    Conversation conversation;
    conversation.record.currentChatName = titleOf(message);
    conversation.record.currentSubject = Text("UnknownSubject");
    conversation.record.chatID = message.chatID;
    conversation.record.bDeleted = true;
    byChat_.emplace(message.chatID, conversations_.size());
    conversations_.push_back(std::move(conversation));
    return conversations_.back();
}

void DeletedMessageIntake::add(Conversation& conversation, const KTWhatsAppNode& message) {
    if (conversation.seen.insert(pairKey(message)).second) {
        conversation.messages.push_back(message);
    }
}

void DeletedMessageIntake::take(const KTWhatsAppNode& message) {
    addResource(message);
    const bool known = byChat_.contains(message.chatID);
    Conversation& conversation = conversationOf(message);
    if (known && conversation.record.currentChatName.empty() &&
        characterCount(titleOf(message)) >= 2) {
        conversation.record.currentChatName = titleOf(message);
    }
    add(conversation, message);
}

void DeletedMessageIntake::take(const KTWhatsAppNode& message, const DeletedChat& chat,
                                TextStore& texts) {
    addResource(message);
    Conversation& conversation = conversationOf(message);
    KTWhatsAppCovNode& record = conversation.record;
    if (!conversation.deletedChat) {
        conversation.deletedChat = true;
        record.isGroupCov = chat.group;
        record.currentChatNumber = chat.number;
        record.currentChatName = chat.partnerName.empty() ? kDeletedChatName : chat.partnerName;
    }
    // Without its subject, a group is named after the members who wrote.
    if (chat.group && chat.partnerName.empty() && message.messageType == Direction::Receive &&
        !message.messageName.empty() && message.messageName != " " &&
        std::find(conversation.authors.begin(), conversation.authors.end(),
                  std::string_view(message.messageName)) == conversation.authors.end()) {
        conversation.authors.emplace_back(message.messageName);
        record.currentChatName = groupTitle(conversation.authors, texts);
    }
    add(conversation, message);
}

void DeletedMessageIntake::noteOrigin(const KTWhatsAppNode& message, std::string place) {
    origins_.emplace_back(message.messageContent.data(), message.chatID,
                          message.messageDate ? message.messageDate->seconds : -1,
                          std::move(place));
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
        if (conversation.deletedChat) {
            result.deletedChats.push_back(conversation.record.chatID);
        }
    }
    result.someResourceArray.insert(result.someResourceArray.end(), resources_.begin(),
                                    resources_.end());
    for (auto& [content, chat, seconds, place] : origins_) {
        result.recoveredOrigins.push_back({content, chat, seconds, std::move(place)});
    }
    std::sort(result.recoveredOrigins.begin(), result.recoveredOrigins.end());
    *this = DeletedMessageIntake();
}

}  // namespace vessamo
