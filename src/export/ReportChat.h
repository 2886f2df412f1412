#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/AppleTime.h"
#include "results/KTWhatsAppCovNode.h"
#include "results/ScanResult.h"

namespace vessamo {

inline constexpr int kAuthorColours = 10;

// Who wrote a message, as the chat view shows it: the owner for sent
// messages, the sender for received ones (the partner of a one-to-one
// chat when the row names nobody).
[[nodiscard]] std::string_view authorOf(const KTWhatsAppNode& message,
                                        const KTWhatsAppCovNode& chat, std::string_view owner);

// The name a conversation is listed and its files named under: a group's
// subject, a person's name, else the number.
[[nodiscard]] std::string chatTitleOf(const KTWhatsAppCovNode& chat);

// One conversation as the report lays it out: its messages oldest first,
// what the index lists about it, and a colour per author that stays the
// same on all its pages.
class ReportChat {
public:
    ReportChat(const ScanResult& result, const KTWhatsAppCovNode& chat, std::string_view owner);

    [[nodiscard]] const KTWhatsAppCovNode& chat() const { return *chat_; }
    [[nodiscard]] const std::string& title() const { return title_; }
    // "+4917012345678", "Group", or "" when there is nothing to show.
    [[nodiscard]] const std::string& numberText() const { return number_; }
    // Made of recovered messages of a chat that was deleted as well.
    [[nodiscard]] bool deletedChat() const { return deletedChat_; }

    [[nodiscard]] size_t size() const { return order_.size(); }
    // The message at place `at` in time order.
    [[nodiscard]] const KTWhatsAppNode& operator[](size_t at) const {
        return messages_[order_[at]];
    }

    [[nodiscard]] size_t messageCount() const { return counted_; }
    [[nodiscard]] size_t recoveredCount() const { return recovered_; }
    [[nodiscard]] size_t mediaCount() const { return media_; }
    [[nodiscard]] const std::optional<AppleTime>& first() const { return first_; }
    [[nodiscard]] const std::optional<AppleTime>& last() const { return last_; }

    [[nodiscard]] std::string_view authorOf(const KTWhatsAppNode& message) const {
        return vessamo::authorOf(message, *chat_, owner_);
    }
    // 0 .. kAuthorColours-1: authors in the order they first write, so two
    // members of a group differ unless it has more than kAuthorColours.
    [[nodiscard]] int colourOf(const KTWhatsAppNode& message) const;

    // The place of the message a reply quotes, when this chat holds it.
    [[nodiscard]] std::optional<size_t> placeOfQuoted(const KTWhatsAppNode& reply) const;

private:
    void sortByTime();
    void count();
    void findQuoted();

    const KTWhatsAppCovNode* chat_;
    MessageRange messages_;
    std::string_view owner_;
    std::string title_;
    std::string number_;
    std::vector<uint32_t> order_;  // places in messages_, oldest first
    std::unordered_map<std::string_view, int> colours_;
    // Stanza id -> place, for the messages that replies here quote only.
    std::unordered_map<std::string_view, size_t> quoted_;
    size_t counted_ = 0;
    size_t recovered_ = 0;
    size_t media_ = 0;
    bool deletedChat_ = false;
    std::optional<AppleTime> first_;
    std::optional<AppleTime> last_;
};

}  // namespace vessamo
