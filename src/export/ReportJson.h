#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "export/ReportMessage.h"
#include "export/ReportOutput.h"
#include "export/ReportPageWriter.h"

namespace vessamo {

class ReportChat;

// "<chat>.json" beside a conversation's pages: the same messages for tools,
// one object a line (docs/json-schema.md, "Chat report").
class ReportChatJson {
public:
    ReportChatJson(ReportOutput& output, std::string_view file, const ReportPageSet& set,
                   std::string_view timeZone);

    void add(const ReportMessage& message);
    // Writes the rest and puts the file in place; false when it failed.
    bool finish();

private:
    void appendMedia(const ReportMessage& message);
    void appendCard(const ReportCard& card);

    const ReportPageSet& set_;
    // A large group's messages run to tens of megabytes: written in pieces.
    ReportStream file_;
    std::string json_;  // what is not written yet
    bool first_ = true;
};

// "search-index.js": every message text of the report, compact, for the
// index page's search. Browsers will not fetch a file beside a page opened
// from disk, but they run a script: the JSON is handed to a function.
class ReportSearchIndex {
public:
    ReportSearchIndex(ReportOutput& output, size_t perPage);

    // Starts a conversation's entries; row is its row in the index table.
    void beginChat(const ReportPageSet& set, size_t row);
    void add(const ReportMessage& message);
    void endChat();
    // Writes the rest and puts the file in place; false when it failed.
    bool finish();

private:
    void flushIfLarge();

    ReportStream file_;
    std::string json_;  // what is not written yet
    bool firstChat_ = true;
    bool firstMessage_ = true;
};

}  // namespace vessamo
