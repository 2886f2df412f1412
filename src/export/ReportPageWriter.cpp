#include "export/ReportPageWriter.h"

#include <algorithm>
#include <cstdio>

#include "export/HtmlText.h"
#include "export/ReportChat.h"
#include "export/ReportResources.h"
#include "export/ReportText.h"

namespace vessamo {

namespace {

std::string_view mediaNoun(int32_t type) {
    switch (type) {
        case 1:
            return "Photo";
        case 2:
        case 11:
            return "Video";
        case 3:
            return "Voice note";
        case 8:
            return "Document";
        default:
            return "Attachment";
    }
}

void appendMediaHref(std::string& out, std::string_view file) {
    out.append("../Media%20Files/");
    appendUrlComponent(out, file);
}

// How much of a quoted text the reply shows: a line's worth.
constexpr size_t kQuoteBytes = 120;

// The start of a quoted message as a line above the reply, cut on a
// character boundary.
std::string_view quoteStart(const KTWhatsAppNode& quoted, bool& cut) {
    std::string_view text = quoted.messageContent;
    if (text.find_first_not_of(" \n") == std::string_view::npos) {
        text = quoted.isHaveAttch ? mediaNoun(quoted.attchType) : std::string_view();
    }
    cut = text.size() > kQuoteBytes;
    if (!cut) {
        return text;
    }
    size_t end = kQuoteBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u) {
        --end;
    }
    return text.substr(0, end);
}

std::string coordinate(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

}  // namespace

std::string messageLink(const ReportPageSet& set, size_t number) {
    std::string link = urlComponent(set.files[number / set.perPage]);
    link.append("#m").append(std::to_string(number));
    return link;
}

ReportPageWriter::ReportPageWriter(const ReportPageSet& set, size_t page, std::string& buffer)
    : set_(set), page_(page), html_(buffer) {
    html_.clear();
    const size_t entries =
        std::min(set.perPage, set.chat.size() - std::min(set.chat.size(), page * set.perPage));
    html_.reserve(reportStyleSheet().size() + 2048 + entries * 400);
    appendHead();
    appendPager();
    html_.append("<main class=\"log\">\n");
}

void ReportPageWriter::appendHead() {
    const ReportChat& chat = set_.chat;
    html_.append(
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<meta name=\"generator\" content=\"Vessamo\"><title>");
    appendHtmlEscaped(html_, chat.title());
    html_.append(" \u00b7 WhatsApp chat</title><style>");
    html_.append(reportStyleSheet());
    html_.append("</style></head>\n<body class=\"chat-page\"><div class=\"wrap\">\n");
    html_.append(
        "<header class=\"masthead\"><a class=\"back\" href=\"../index.html\">\u2190 All "
        "conversations</a><h1>");
    appendHtmlEscaped(html_, chat.title());
    html_.append("</h1><p class=\"facts\">");
    if (!chat.numberText().empty()) {
        appendHtmlEscaped(html_, chat.numberText());
        html_.append(" \u00b7 ");
    }
    if (chat.deletedChat()) {
        html_.append(
            "<span class=\"rec\">Deleted chat, only recovered messages left</span> \u00b7 ");
    } else if (chat.chat().bDeleted) {
        html_.append("<span class=\"rec\">Recovered messages only</span> \u00b7 ");
    }
    html_.append(std::to_string(chat.messageCount()))
        .append(chat.messageCount() == 1 ? " message" : " messages");
    if (chat.recoveredCount() > 0) {
        html_.append(" \u00b7 ").append(std::to_string(chat.recoveredCount())).append(" recovered");
    }
    if (!set_.span.empty()) {
        html_.append(" \u00b7 ").append(set_.span);
    }
    html_.append("</p><p class=\"zone\">Times are shown in ");
    appendHtmlEscaped(html_, set_.zone);
    html_.append(".</p></header>\n");
}

void ReportPageWriter::appendPager() {
    const size_t pages = set_.files.size();
    if (pages <= 1) {
        return;
    }
    const auto link = [this](size_t page, std::string_view label, bool usable) {
        if (!usable) {
            html_.append("<span class=\"off\">").append(label).append("</span>");
            return;
        }
        html_.append("<a href=\"");
        appendUrlComponent(html_, set_.files[page]);
        html_.append("\">").append(label).append("</a>");
    };
    html_.append("<nav class=\"pager\" aria-label=\"Pages\">");
    link(0, "\u00ab First", page_ > 0);
    link(page_ == 0 ? 0 : page_ - 1, "\u2039 Previous", page_ > 0);
    const size_t first = page_ * set_.perPage + 1;
    const size_t last = std::min(set_.chat.size(), (page_ + 1) * set_.perPage);
    html_.append("<span>Page ")
        .append(std::to_string(page_ + 1))
        .append(" of ")
        .append(std::to_string(pages))
        .append(" \u00b7 entries ")
        .append(std::to_string(first))
        .append("\u2013")
        .append(std::to_string(last))
        .append("</span>");
    link(page_ + 1, "Next \u203a", page_ + 1 < pages);
    link(pages - 1, "Last \u00bb", page_ + 1 < pages);
    html_.append("</nav>\n");
}

void ReportPageWriter::add(const ReportMessage& message) {
    appendDay(message);
    if (message.node->isSystem()) {
        appendSystem(message);
    } else {
        appendBubble(message);
    }
}

void ReportPageWriter::appendDay(const ReportMessage& message) {
    if (!message.at) {
        if (!sawUndated_) {
            sawUndated_ = true;
            html_.append("<h2 class=\"day\"><span>Date unknown</span></h2>\n");
        }
        return;
    }
    if (day_ && *day_ == message.at->dayNumber) {
        return;
    }
    day_ = message.at->dayNumber;
    html_.append("<h2 class=\"day\"><span>");
    ReportClock::appendDayHeading(html_, *message.at);
    html_.append("</span></h2>\n");
}

void ReportPageWriter::appendSystem(const ReportMessage& message) {
    html_.append("<div class=\"sys\" id=\"m").append(std::to_string(message.number));
    html_.append("\"><span>");
    appendHtmlEscaped(html_, message.node->systemText);
    if (message.at) {
        html_.append(" \u00b7 ");
        ReportClock::appendTime(html_, *message.at);
    }
    html_.append("</span></div>\n");
}

void ReportPageWriter::appendBubble(const ReportMessage& message) {
    const KTWhatsAppNode& node = *message.node;
    const bool sent = node.messageType == Direction::Send;
    html_.append(sent ? "<div class=\"msg out" : "<div class=\"msg in");
    html_.append(node.bDeleted ? " recovered" : "").append(node.bStarredMessage ? " starred" : "");
    html_.append("\" id=\"m").append(std::to_string(message.number));
    html_.append("\"><div class=\"bubble\"><div class=\"author a");
    html_.append(std::to_string(message.colour)).append("\">");
    appendHtmlEscaped(html_, message.author);
    html_.append("</div>");
    if (set_.titles != nullptr) {
        if (const auto found = set_.titles->find(node.chatID); found != set_.titles->end()) {
            html_.append("<div class=\"from\">in ");
            appendHtmlEscaped(html_, found->second);
            html_.append("</div>");
        }
    }
    if (node.bDeleted) {
        appendRecovered(message.origin);
    }
    appendQuote(message);
    appendMedia(message);
    if (message.card) {
        appendCard(*message.card);
    }
    if (message.place) {
        appendPlace(*message.place);
    } else if (!node.locationInfo.empty()) {
        html_.append("<div class=\"text\">");
        appendHtmlEscaped(html_, node.locationInfo);
        html_.append("</div>");
    }
    if (node.messageContent.find_first_not_of(" \n") != std::string_view::npos) {
        html_.append("<div class=\"text\">");
        appendHtmlEscaped(html_, node.messageContent);
        html_.append("</div>");
    }
    appendMeta(message);
    html_.append("</div></div>\n");
}

// The flag, then where the record lay, its explanation on hover: carved
// records come from the free room of the chat database the scan read.
void ReportPageWriter::appendRecovered(const RecoveredPlace& origin) {
    html_.append("<div class=\"flag\">Recovered</div><span class=\"where\" title=\"");
    appendHtmlEscaped(html_, recoveredExplanation(origin));
    html_.append("\">");
    const std::string label = recoveredPlaceLabel(origin);
    if (label.empty()) {
        html_.append("deleted; found in the chat database's free space");
    } else {
        html_.append("deleted \u00b7 found in ");
        appendHtmlEscaped(html_, label);
    }
    html_.append("</span>");
}

void ReportPageWriter::appendQuote(const ReportMessage& message) {
    if (!message.quote) {
        if (!message.node->quotedStanzaId.empty()) {
            html_.append("<div class=\"quote gone\">Reply to a message not in this chat</div>");
        }
        return;
    }
    const ReportMessage::Quote& quote = *message.quote;
    html_.append("<a class=\"quote\" href=\"").append(messageLink(set_, quote.number));
    html_.append("\"><span class=\"author a").append(std::to_string(quote.colour)).append("\">");
    appendHtmlEscaped(html_, quote.author);
    html_.append("</span><span class=\"quoted\">");
    bool cut = false;
    appendHtmlEscaped(html_, quoteStart(*quote.node, cut));
    html_.append(cut ? "\u2026</span></a>" : "</span></a>");
}

void ReportPageWriter::appendMedia(const ReportMessage& message) {
    const int32_t type = message.node->attchType;
    if (message.media == ReportMedia::notInSource || message.media == ReportMedia::failed) {
        html_.append("<div class=\"missing\">").append(mediaNoun(type));
        html_.append(message.media == ReportMedia::notInSource ? " \u2014 not in the backup"
                                                               : " \u2014 could not be copied");
        html_.append("</div>");
        return;
    }
    // A recovered row can name a media item whose own row is gone: the
    // message was real, its file cannot be known.
    if (message.media == ReportMedia::none && message.node->bDeleted && message.node->isHaveAttch) {
        html_.append("<div class=\"missing\">").append(mediaNoun(type));
        html_.append(" \u2014 not recovered with the message</div>");
        return;
    }
    if (message.media != ReportMedia::copied) {
        return;
    }
    std::string href;
    appendMediaHref(href, message.mediaFile);
    switch (type) {
        case 1:
            html_.append("<a class=\"photo\" href=\"").append(href);
            html_.append("\"><img class=\"thumb\" loading=\"lazy\" alt=\"Photo\" src=\"");
            html_.append(href).append("\"></a>");
            return;
        case 2:
        case 11:
            html_.append("<video controls preload=\"metadata\" src=\"").append(href);
            html_.append("\"></video>");
            break;
        case 3:
            html_.append("<audio controls preload=\"none\" src=\"").append(href);
            html_.append("\"></audio>");
            break;
        default:
            break;
    }
    // The copy is named after its backup file; its kind says more.
    const std::string_view file = message.mediaFile;
    const size_t dot = file.rfind('.');
    html_.append("<a class=\"file media-link\" href=\"").append(href);
    html_.append("\" data-file=\"Media Files/");
    appendHtmlEscaped(html_, file);
    html_.append("\">");
    html_.append(type == 8 ? "\U0001F4C4 " : "\u2197 ").append(mediaNoun(type));
    if (dot != std::string_view::npos && dot > 0) {
        html_.append(" (");
        appendHtmlEscaped(html_, file.substr(dot));
        html_.append(")");
    }
    html_.append("</a>");
}

void ReportPageWriter::appendCard(const ReportCard& card) {
    html_.append("<div class=\"card\"><div class=\"who\">");
    appendHtmlEscaped(html_, card.name.empty() ? std::string_view("Contact card") : card.name);
    html_.append("</div><ul>");
    for (const std::string_view number : card.numbers) {
        html_.append("<li>");
        appendHtmlEscaped(html_, number);
        html_.append("</li>");
    }
    html_.append("</ul>");
    if (!card.file.empty()) {
        html_.append("<a class=\"media-link\" download href=\"../Cards/");
        appendUrlComponent(html_, lastComponent(card.file));
        html_.append("\" data-file=\"");
        appendHtmlEscaped(html_, card.file);
        html_.append("\">Contact card (.vcf)</a>");
    }
    html_.append("</div>");
}

void ReportPageWriter::appendPlace(const ReportPlace& place) {
    const std::string latitude = coordinate(place.latitude);
    const std::string longitude = coordinate(place.longitude);
    html_.append("<a class=\"place\" href=\"https://www.openstreetmap.org/?mlat=");
    html_.append(latitude).append("&amp;mlon=").append(longitude).append("#map=16/");
    html_.append(latitude).append("/").append(longitude).append("\">\U0001F4CD ");
    html_.append(latitude).append(", ").append(longitude).append("</a>");
}

void ReportPageWriter::appendMeta(const ReportMessage& message) {
    html_.append("<div class=\"meta\">");
    if (message.node->bStarredMessage) {
        html_.append("<span class=\"star\" title=\"Starred\">\u2605 Starred</span>");
    }
    if (message.at) {
        html_.append("<time datetime=\"");
        ReportClock::appendIso(html_, *message.at);
        html_.append("\">");
        ReportClock::appendTime(html_, *message.at);
        html_.append("</time>");
    }
    html_.append("</div>");
}

std::string_view ReportPageWriter::finish() {
    html_.append("</main>\n");
    appendPager();
    html_.append("<footer>");
    appendHtmlEscaped(html_, set_.chat.title());
    if (set_.files.size() > 1) {
        html_.append(" \u00b7 page ").append(std::to_string(page_ + 1)).append(" of ");
        html_.append(std::to_string(set_.files.size()));
    }
    html_.append(" \u00b7 exported by Vessamo on ");
    appendHtmlEscaped(html_, set_.exported);
    html_.append("</footer>\n</div></body></html>\n");
    return html_;
}

}  // namespace vessamo
