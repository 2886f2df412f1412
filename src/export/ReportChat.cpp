#include "export/ReportChat.h"

#include <algorithm>
#include <numeric>
#include <unordered_set>

#include "export/ReportOrigin.h"
#include "export/ReportText.h"

namespace vessamo {

namespace {

bool isBlank(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

}  // namespace

std::string_view authorOf(const KTWhatsAppNode& message, const KTWhatsAppCovNode& chat,
                          std::string_view owner) {
    if (message.messageType == Direction::Send) {
        if (!isBlank(message.messageName)) {
            return message.messageName;
        }
        return owner.empty() ? std::string_view("Me") : owner;
    }
    if (!isBlank(message.messageName)) {
        return message.messageName;
    }
    if (!message.messageNumb.empty()) {
        return message.messageNumb;
    }
    if (!chat.isGroupCov && !chat.currentChatName.empty()) {
        return chat.currentChatName;
    }
    return "Unknown sender";
}

std::string chatTitleOf(const KTWhatsAppCovNode& chat) {
    if (chat.isGroupCov && !chat.bStarredCovMessage && chat.currentSubject &&
        !isBlank(*chat.currentSubject)) {
        return chat.currentSubject->str();
    }
    if (!isBlank(chat.currentChatName)) {
        return chat.currentChatName.str();
    }
    const std::string phone = phoneOfAddress(chat.currentChatNumber.value_or(Text()));
    return phone.empty() ? "Chat " + std::to_string(chat.chatID) : phone;
}

ReportChat::ReportChat(const ScanResult& result, const KTWhatsAppCovNode& chat,
                       std::string_view owner)
    : chat_(&chat),
      messages_(result.messagesOf(chat)),
      owner_(owner),
      title_(chatTitleOf(chat)),
      deletedChat_(isDeletedChat(result, chat)) {
    if (chat.isGroupCov && !chat.bStarredCovMessage) {
        number_ = "Group";
    } else if (chat.currentChatNumber) {
        number_ = phoneOfAddress(*chat.currentChatNumber);
    }
    sortByTime();
    count();
    findQuoted();
}

// Rows come in database order with recovered messages after the live ones;
// a record reads by time. A message without a time keeps its place after
// the message before it.
void ReportChat::sortByTime() {
    std::vector<int64_t> keys(messages_.size());
    int64_t previous = INT64_MIN;
    for (size_t at = 0; at < messages_.size(); ++at) {
        const std::optional<AppleTime>& date = messages_[at].messageDate;
        previous = date ? date->seconds : previous;
        keys[at] = previous;
    }
    order_.resize(messages_.size());
    std::iota(order_.begin(), order_.end(), 0u);
    std::stable_sort(order_.begin(), order_.end(),
                     [&keys](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
}

void ReportChat::count() {
    for (size_t at = 0; at < size(); ++at) {
        const KTWhatsAppNode& message = (*this)[at];
        if (message.messageDate) {
            first_ = first_ ? std::min(*first_, *message.messageDate) : *message.messageDate;
            last_ = last_ ? std::max(*last_, *message.messageDate) : *message.messageDate;
        }
        if (!countsAsMessage(message)) {
            continue;
        }
        ++counted_;
        recovered_ += message.bDeleted ? 1 : 0;
        media_ += message.isHaveAttch ? 1 : 0;
        const std::string_view author = authorOf(message);
        colours_.try_emplace(author, static_cast<int>(colours_.size() % kAuthorColours));
    }
}

// Only the quoted messages are looked for: a chat of a million messages
// with a few replies keeps a few entries, not an index of every id.
void ReportChat::findQuoted() {
    std::unordered_set<std::string_view> wanted;
    for (const KTWhatsAppNode& message : messages_) {
        if (!message.quotedStanzaId.empty()) {
            wanted.insert(message.quotedStanzaId);
        }
    }
    if (wanted.empty()) {
        return;
    }
    for (size_t at = 0; at < size(); ++at) {
        const Text id = (*this)[at].stanzaId;
        if (!id.empty() && wanted.contains(id)) {
            quoted_.try_emplace(id, at);  // the first record of an id, live before recovered
        }
    }
}

std::optional<size_t> ReportChat::placeOfQuoted(const KTWhatsAppNode& reply) const {
    if (reply.quotedStanzaId.empty()) {
        return std::nullopt;
    }
    const auto found = quoted_.find(reply.quotedStanzaId);
    return found == quoted_.end() ? std::nullopt : std::optional<size_t>(found->second);
}

int ReportChat::colourOf(const KTWhatsAppNode& message) const {
    const auto found = colours_.find(authorOf(message));
    return found == colours_.end() ? 0 : found->second;
}

}  // namespace vessamo
