#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "export/ReportMessage.h"

namespace vessamo {

class ReportChat;

// Conversation names by chat key, for the starred list's "in <chat>" lines.
using ChatTitles = std::unordered_map<int32_t, std::string>;

// What every page of a conversation shares.
struct ReportPageSet {
    const ReportChat& chat;
    std::vector<std::string> files;  // page file names in "Chats", page 1 first
    size_t perPage = 0;
    std::string zone;      // the zone the times are in, named at the top
    std::string span;      // "1 Mar 2021 \u2013 3 Mar 2021", or ""
    std::string exported;  // when the report was made, for the footer
    const ChatTitles* titles = nullptr;
};

// Builds one page of a conversation: the heading with the zone named once,
// first/previous/next/last links, a line per day and a bubble per message.
class ReportPageWriter {
public:
    // The page is built in buffer, emptied first: one buffer serves every
    // page of a run, so thousands of pages do not each take their memory anew.
    ReportPageWriter(const ReportPageSet& set, size_t page, std::string& buffer);

    void add(const ReportMessage& message);
    // The finished page's bytes, in the buffer; the writer is spent.
    [[nodiscard]] std::string_view finish();

private:
    void appendHead();
    void appendPager();
    void appendDay(const ReportMessage& message);
    void appendSystem(const ReportMessage& message);
    void appendBubble(const ReportMessage& message);
    void appendRecovered(const RecoveredPlace& origin);
    void appendQuote(const ReportMessage& message);
    void appendMedia(const ReportMessage& message);
    void appendCard(const ReportCard& card);
    void appendPlace(const ReportPlace& place);
    void appendMeta(const ReportMessage& message);

    const ReportPageSet& set_;
    size_t page_;
    std::string& html_;
    std::optional<int64_t> day_;
    bool sawUndated_ = false;
};

// Where a message's page and anchor are: "Anna%20Schmidt_2.html#m2417".
[[nodiscard]] std::string messageLink(const ReportPageSet& set, size_t number);

}  // namespace vessamo
