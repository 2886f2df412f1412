#include "export/ReportJson.h"

#include <cstdio>

#include "common/Files.h"
#include "export/ReportChat.h"
#include "export/ReportText.h"
#include "results/DisplayText.h"

namespace vessamo {

namespace {

constexpr size_t kPieceBytes = 256u * 1024;
constexpr std::string_view kRecoveredFrom = "deleted records of the chat database";

void member(std::string& out, std::string_view name) {
    out.push_back(',');
    appendJsonString(out, name);
    out.push_back(':');
}

void stringMember(std::string& out, std::string_view name, std::string_view value) {
    member(out, name);
    appendJsonString(out, value);
}

void boolMember(std::string& out, std::string_view name, bool value) {
    member(out, name);
    out.append(value ? "true" : "false");
}

std::string_view mediaStateName(ReportMedia media) {
    switch (media) {
        case ReportMedia::copied:
            return "copied";
        case ReportMedia::notInSource:
            return "notInSource";
        case ReportMedia::failed:
            return "failed";
        case ReportMedia::none:
            break;
    }
    return "none";
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

// What the search finds a message by: its text, or for a card, a place or a
// file the words a person would type.
std::string_view searchTextOf(const ReportMessage& message) {
    const KTWhatsAppNode& node = *message.node;
    if (node.isSystem()) {
        return node.systemText;
    }
    if (node.messageContent.find_first_not_of(" \n") != std::string_view::npos) {
        return node.messageContent;
    }
    if (!node.vcardName.empty()) {
        return node.vcardName;
    }
    return node.locationInfo;
}

}  // namespace

ReportChatJson::ReportChatJson(ReportOutput& output, std::string_view file,
                               const ReportPageSet& set, std::string_view timeZone)
    : set_(set), file_(output, file) {
    const KTWhatsAppCovNode& chat = set.chat.chat();
    json_.append("{\"schema\":\"vessamo-chat-report/1\"");
    stringMember(json_, "timeZone", timeZone);
    json_.append(",\"chat\":{\"id\":").append(std::to_string(chat.chatID));
    stringMember(json_, "title", set.chat.title());
    stringMember(json_, "name", chat.currentChatName);
    member(json_, "address");
    if (chat.currentChatNumber) {
        appendJsonString(json_, *chat.currentChatNumber);
    } else {
        json_.append("null");
    }
    boolMember(json_, "isGroup", chat.isGroupCov && !chat.bStarredCovMessage);
    boolMember(json_, "isStarredList", chat.bStarredCovMessage);
    boolMember(json_, "isRecoveredOnly", chat.bDeleted);
    boolMember(json_, "isDeletedChat", set.chat.deletedChat());
    json_.append(",\"messageCount\":").append(std::to_string(set.chat.messageCount()));
    json_.append(",\"recoveredCount\":").append(std::to_string(set.chat.recoveredCount()));
    json_.append(",\"pages\":[");
    for (size_t page = 0; page < set.files.size(); ++page) {
        json_.append(page == 0 ? "" : ",");
        appendJsonString(json_, set.files[page]);
    }
    json_.append("]},\n\"messages\":[\n");
}

void ReportChatJson::add(const ReportMessage& message) {
    const KTWhatsAppNode& node = *message.node;
    json_.append(first_ ? "{\"n\":" : ",\n{\"n\":").append(std::to_string(message.number));
    first_ = false;
    stringMember(json_, "page", set_.files[message.number / set_.perPage]);
    member(json_, "time");
    if (message.at) {
        json_.push_back('"');
        ReportClock::appendIso(json_, *message.at);
        json_.push_back('"');
    } else {
        json_.append("null");
    }
    if (node.isSystem()) {
        stringMember(json_, "kind", "system");
        stringMember(json_, "text", node.systemText);
        json_.push_back('}');
        return;
    }
    stringMember(json_, "kind", "message");
    boolMember(json_, "fromMe", node.messageType == Direction::Send);
    stringMember(json_, "author", message.author);
    stringMember(json_, "authorNumber", node.messageNumb);
    if (set_.titles != nullptr) {
        json_.append(",\"chatId\":").append(std::to_string(node.chatID));
    }
    stringMember(json_, "text", node.messageContent);
    if (!node.quotedStanzaId.empty()) {
        stringMember(json_, "quotedStanzaId", node.quotedStanzaId);
        if (message.quote) {
            json_.append(",\"quotedN\":").append(std::to_string(message.quote->number));
        }
    }
    appendMedia(message);
    if (message.place) {
        json_.append(",\"location\":{\"latitude\":").append(number(message.place->latitude));
        json_.append(",\"longitude\":").append(number(message.place->longitude)).append("}");
    }
    if (message.card) {
        appendCard(*message.card);
    }
    boolMember(json_, "starred", node.bStarredMessage);
    boolMember(json_, "recovered", node.bDeleted);
    if (node.bDeleted) {
        stringMember(json_, "recoveredFrom", kRecoveredFrom);
        member(json_, "origin");
        if (message.origin.where.empty()) {
            json_.append("null");
        } else {
            appendJsonString(json_, message.origin.where);
        }
        boolMember(json_, "textCut", message.origin.textCut);
    }
    json_.push_back('}');
    if (json_.size() >= kPieceBytes) {
        file_.append(json_);
        json_.clear();
    }
}

void ReportChatJson::appendMedia(const ReportMessage& message) {
    const KTWhatsAppNode& node = *message.node;
    if (!node.isHaveAttch) {
        return;
    }
    json_.append(",\"media\":{\"type\":").append(std::to_string(node.attchType));
    stringMember(json_, "state", mediaStateName(message.media));
    stringMember(json_, "storedPath", node.messageAttchpath);
    if (message.media == ReportMedia::copied) {
        stringMember(json_, "file", "../Media Files/" + message.mediaFile);
    }
    json_.push_back('}');
}

void ReportChatJson::appendCard(const ReportCard& card) {
    json_.append(",\"contact\":{\"name\":");
    appendJsonString(json_, card.name);
    json_.append(",\"numbers\":[");
    for (size_t at = 0; at < card.numbers.size(); ++at) {
        json_.append(at == 0 ? "" : ",");
        appendJsonString(json_, card.numbers[at]);
    }
    json_.push_back(']');
    if (!card.file.empty()) {
        stringMember(json_, "file", "../" + card.file);
    }
    json_.push_back('}');
}

bool ReportChatJson::finish() {
    json_.append("\n]}\n");
    file_.append(json_);
    json_.clear();
    return file_.finish();
}

ReportSearchIndex::ReportSearchIndex(ReportOutput& output, size_t perPage)
    : file_(output, "search-index.js") {
    json_.append("vessamoSearchIndex({\"perPage\":").append(std::to_string(perPage));
    json_.append(",\"chats\":[");
}

void ReportSearchIndex::beginChat(const ReportPageSet& set, size_t row) {
    json_.append(firstChat_ ? "\n{\"row\":" : ",\n{\"row\":").append(std::to_string(row));
    firstChat_ = false;
    firstMessage_ = true;
    stringMember(json_, "name", set.chat.title());
    json_.append(",\"pages\":[");
    for (size_t page = 0; page < set.files.size(); ++page) {
        json_.append(page == 0 ? "\"Chats/" : ",\"Chats/");
        // Links, percent-encoded; nothing left in them for JSON to escape.
        appendUrlComponent(json_, set.files[page]);
        json_.push_back('"');
    }
    json_.append("],\"messages\":[");
}

void ReportSearchIndex::add(const ReportMessage& message) {
    const std::string_view text = searchTextOf(message);
    if (text.find_first_not_of(" \n") == std::string_view::npos) {
        return;
    }
    json_.append(firstMessage_ ? "[" : ",[").append(std::to_string(message.number));
    firstMessage_ = false;
    json_.append(",\"");
    if (message.at) {
        json_.append(ReportClock::shortDate(*message.at)).push_back(' ');
        ReportClock::appendTime(json_, *message.at);
    }
    json_.append("\",");
    appendJsonString(json_, text);
    json_.push_back(']');
    flushIfLarge();
}

void ReportSearchIndex::endChat() {
    json_.append("]}");
    flushIfLarge();
}

// A million messages make tens of megabytes: written a piece at a time.
void ReportSearchIndex::flushIfLarge() {
    if (json_.size() >= kPieceBytes) {
        file_.append(json_);
        json_.clear();
    }
}

bool ReportSearchIndex::finish() {
    json_.append("\n]});\n");
    file_.append(json_);
    json_.clear();
    return file_.finish();
}

}  // namespace vessamo
