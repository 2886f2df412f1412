#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "export/ReportMessage.h"
#include "export/ReportPageWriter.h"

namespace vessamo {

class ReportChat;

// "<chat>.json" beside a conversation's pages: the same messages for tools,
// one object a line (docs/json-schema.md, "Chat report").
class ReportChatJson {
public:
    ReportChatJson(const ReportPageSet& set, std::string_view timeZone);

    void add(const ReportMessage& message);
    [[nodiscard]] std::string finish();

private:
    void appendMedia(const ReportMessage& message);
    void appendCard(const ReportCard& card);

    const ReportPageSet& set_;
    std::string json_;
    bool first_ = true;
};

// "search-index.js": every message text of the report, compact, for the
// index page's search. Browsers will not fetch a file beside a page opened
// from disk, but they run a script: the JSON is handed to a function.
class ReportSearchIndex {
public:
    explicit ReportSearchIndex(size_t perPage);

    // Starts a conversation's entries; row is its row in the index table.
    void beginChat(const ReportPageSet& set, size_t row);
    void add(const ReportMessage& message);
    void endChat();
    [[nodiscard]] std::string finish();

private:
    std::string json_;
    bool firstChat_ = true;
    bool firstMessage_ = true;
};

}  // namespace vessamo
