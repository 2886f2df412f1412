#include "export/HtmlChatExport.h"

#include <algorithm>
#include <optional>

#include "common/Files.h"
#include "common/WhatsAppIds.h"
#include "export/ExportFileNames.h"
#include "export/HtmlText.h"
#include "export/KTHtmlController.h"
#include "export/MessageAttachmentCopy.h"
#include "export/ReportOrigin.h"
#include "results/DisplayText.h"

namespace vessamo {

namespace {

constexpr size_t kMessagesPerPage = 5000;

// Absent texts print the way the earlier exports printed them.
std::string_view orNull(const std::optional<Text>& text) {
    return text ? text->view() : std::string_view("(null)");
}

// Lengths as the naming rule counts them: UTF-16 units.
size_t utf16Length(std::string_view utf8) {
    size_t units = 0;
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) {
            units += byte >= 0xF0 ? 2 : 1;
        }
    }
    return units;
}

// Group chats share the name "Group Chat", so the chat id keeps their pages
// apart; a number alone is unique enough. Where two chats still meet on a
// name, the run's file names tell them apart.
std::string pageStem(const KTWhatsAppCovNode& chat) {
    const std::string_view number = orNull(chat.currentChatNumber);
    if (utf16Length(chat.currentChatName) >= 2) {
        return chat.currentChatName + std::to_string(chat.chatID);
    }
    // WhatsApp's private identifiers name nobody a person would recognise.
    if (isLidJid(number)) {
        return "Chat" + std::to_string(chat.chatID);
    }
    if (utf16Length(number) >= 2) {
        return std::string(number);
    }
    return std::string(number) + std::to_string(chat.chatID);
}

// The page template's style sheet is fixed; what recovery adds is styled
// where it stands.
constexpr std::string_view kRecoveredStyle = "color:#9a5b0c;font-size:11px;margin:0;";

// A conversation only recovered messages make says so under its name: a
// reader must not take it for the phone's own chat.
std::string recoveredConversationLine(const ScanResult& result, const KTWhatsAppCovNode& chat) {
    if (!chat.bDeleted) {
        return "";
    }
    const std::string_view what =
        isDeletedChat(result, chat)
            ? "Recovered conversation \u00b7 the chat was deleted; only these recovered messages "
              "are left"
            : "Recovered messages \u00b7 deleted from this chat and found in the chat database";
    std::string line = "<p class='recovered-chat' style='color:#9a5b0c;font-weight:bold'>";
    line.append(what).append("</p>");
    return line;
}

std::string conversationHeader(const ScanResult& result, const KTWhatsAppCovNode& chat) {
    return "<p><h3>Name: " + htmlEscape(chat.currentChatName) +
           " &nbsp;&nbsp;Phone: " + htmlEscape(orNull(chat.currentChatNumber)) +
           " &nbsp;&nbsp;Subject: " + htmlEscape(orNull(chat.currentSubject)) + "</h3>" +
           recoveredConversationLine(result, chat) + "<hr/><p>";
}

// What one run of pages shares: where they go, the media copier beside
// them, the date texts and the report everything writes into.
struct PageRun {
    const ScanResult& result;
    ExportFileNames& names;
    MessageAttachmentCopy& media;
    DisplayTextCache& dates;
    ExportReport& report;
    const ExportControl& control;
};

// The message parts are appended straight to the page: a text per part,
// made and joined for every one of a million messages, cost more than the
// escaping itself.
void appendNameLine(std::string& page, const KTWhatsAppNode& message, DisplayTextCache& dates) {
    const bool noName = message.messageName.empty() || message.messageName == " ";
    page.append("<p class='name'>Name: ");
    appendHtmlEscaped(page, noName ? message.messageNumb : message.messageName);
    page.append(" &nbsp;&nbsp; Date: ");
    // Date texts are digits, "-", ":" and blanks: nothing to escape.
    dates.appendMessageDate(page, message.messageDate);
    page.append(" <p>");
}

void appendTextBubble(std::string& page, const KTWhatsAppNode& message) {
    const bool sent = message.messageType == Direction::Send;
    if (utf16Length(message.vcardInfo) >= 2) {
        // Cards always get the green bubble; only the gap differs.
        page.append("<p class='triangle-isosceles2'> ");
        appendHtmlEscaped(page, message.vcardName);
        page.append(sent ? "       " : "        ");
        appendHtmlEscaped(page, message.vcardInfo);
        page.append("</p>");
        return;
    }
    page.append(sent ? "<p class='triangle-isosceles2'> " : "<p class='triangle-isosceles'> ");
    appendHtmlEscaped(page, message.messageContent);
    page.append(" </p>");
}

std::string mediaElement(const KTWhatsAppNode& message, const std::string& copy) {
    const std::string src = "'../Media Files/" + htmlEscape(lastComponent(copy)) + "'";
    const bool received = message.messageType == Direction::Receive;
    switch (message.attchType) {
        case 1: {
            const std::string img = "<img width='320' height='240' src=" + src + "/></p>";
            return (received ? "<p>" : "<p class='imgdic'>") + img;
        }
        case 2:
        case 11:
            return "<p><video width='320' height='240' src=" + src +
                   " controls='controls'>Video</video></p>";
        case 3:
            return "<p><audio src=" + src + " controls='controls'>Audio</audio></p>";
        case 8: {
            const std::string frame =
                "<iframe src=" + src +
                " style='width:600px; height:500px;'frameborder='0'></iframe>";
            return received ? frame : "<p class='imgdic'>" + frame + "</p>";
        }
        default:
            return "";
    }
}

// Stands where the picture would be when there is no file to show; the
// message keeps its author, time and caption.
void appendMediaNotice(std::string& page, const KTWhatsAppNode& message, std::string_view notice) {
    const bool sent = message.messageType == Direction::Send;
    page.append(sent ? "<p class='triangle-isosceles2'> <em>"
                     : "<p class='triangle-isosceles'> <em>");
    page.append(notice);
    page.append("</em>");
    if (!message.messageContent.empty()) {
        page.append("<br/>");
        appendHtmlEscaped(page, message.messageContent);
    }
    page.append(" </p>");
}

// Under the name line of a recovered message: where it was found, the
// whole sentence on hover. Sent ones line up with their bubble.
void appendRecoveredCaption(std::string& page, const KTWhatsAppNode& message,
                            const ScanResult& result) {
    const RecoveredPlace place = recoveredPlaceOf(result, message);
    page.append("<p class='recovered' style='");
    page.append(kRecoveredStyle);
    if (message.messageType == Direction::Send) {
        page.append("left:170px;position:relative;");
    }
    page.append("' title='");
    appendHtmlEscaped(page, recoveredExplanation(place));
    page.append("'>");
    appendHtmlEscaped(page, recoveredCaption(place));
    page.append("</p>");
}

// Every message keeps its place on the page. A media message shows its
// copied file, or a notice where the file would be; one that stores no
// file at all (a thumbnail at most) shows its text.
void appendMessage(const KTWhatsAppNode& message, KTHtmlController& page, const PageRun& run) {
    std::string& html = page.strHtmlContent;
    if (message.isSystem()) {
        // WhatsApp's own line: centred and muted, nobody's bubble.
        html.append("<p class='system' style='text-align:center;color:#8a8a8a'>");
        appendHtmlEscaped(html, message.systemText);
        html.append(" &nbsp;&nbsp; ");
        run.dates.appendMessageDate(html, message.messageDate);
        html.append("</p>");
        return;
    }
    if (!message.isHaveAttch) {
        appendNameLine(html, message, run.dates);
        if (message.bDeleted) {
            appendRecoveredCaption(html, message, run.result);
        }
        appendTextBubble(html, message);
        return;
    }
    const AttachmentCopy copy = run.media.copyAttachment(message);
    appendNameLine(html, message, run.dates);
    if (message.bDeleted) {
        appendRecoveredCaption(html, message, run.result);
    }
    switch (copy.outcome) {
        case AttachmentOutcome::copied:
            page.addHtmlContent(mediaElement(message, copy.path));
            break;
        case AttachmentOutcome::noMediaPath:
            // A carved row keeps the fact that it had media, not the media
            // item's row: an empty bubble would hide that anything was sent.
            if (message.bDeleted) {
                appendMediaNotice(html, message, kMediaNotRecovered);
            } else {
                appendTextBubble(html, message);
            }
            break;
        case AttachmentOutcome::notInSource:
            appendMediaNotice(html, message, kMediaNotInSource);
            break;
        case AttachmentOutcome::failed:
            appendMediaNotice(html, message, kMediaNotCopied);
            break;
    }
}

// Writes the messages as one page, newest first. False when stopped before
// the page was complete; nothing is written then.
bool writePage(const PageRun& run, const KTWhatsAppCovNode& chat, const std::string& title,
               MessageRange messages, const std::string& path) {
    KTHtmlController html;
    html.initMessageHtmlHeader(title);
    html.addHtmlContent(conversationHeader(run.result, chat));
    for (size_t at = messages.size(); at-- > 0;) {
        if (run.control.stopRequested()) {
            return false;
        }
        appendMessage(messages[at], html, run);
        run.control.countMessage();
    }
    html.addHtmlContent("<hr/>");
    html.writeHtmlInPath(path, run.report, run.names.root());
    return true;
}

// Page k holds the 5000 messages before the newest 5000·k; the last page
// holds what is left. An empty chat still gets its page with the header.
bool writeConversation(const PageRun& run, const KTWhatsAppCovNode& chat, const std::string& title,
                       MessageRange messages, bool split) {
    if (messages.size() <= kMessagesPerPage || !split) {
        const std::string suffix = ".html";
        const std::string stem = run.names.claimStem(pageStem(chat), {&suffix, 1});
        return writePage(run, chat, title, messages, stem + suffix);
    }
    std::vector<std::string> suffixes;
    for (size_t k = 0; k * kMessagesPerPage < messages.size(); ++k) {
        std::string& suffix = suffixes.emplace_back(1, '_');
        suffix.append(std::to_string(k)).append(".html");
    }
    const std::string stem = run.names.claimStem(pageStem(chat), suffixes);
    for (size_t k = 0; k < suffixes.size(); ++k) {
        const size_t end = messages.size() - k * kMessagesPerPage;
        const size_t first = end - std::min(end, kMessagesPerPage);
        if (!writePage(run, chat, title, messages.slice(first, end - first), stem + suffixes[k])) {
            return false;
        }
    }
    return true;
}

// The messages a chat's pages show. The starred list is exported with its
// header alone, as it always was: only the chat view gathers its messages.
MessageRange pageMessagesOf(const ScanResult& result, const KTWhatsAppCovNode& chat) {
    return chat.bStarredCovMessage ? MessageRange() : result.messagesOf(chat);
}

// What both page writers share: the pages' folder, the media copier beside
// it, the walk over the chosen chats and the cancellation lines.
template <typename TitleOf>
ExportReport writeChatPages(const ScanResult& result,
                            std::span<const KTWhatsAppCovNode* const> conversations,
                            const std::string& recoverPath, const ExportControl& control,
                            bool split, TitleOf titleOf) {
    ExportReport report;
    const std::string chatsFolder = recoverPath + "/Chats";
    if (const Status made = makeFoldersWithin({recoverPath, chatsFolder}); !made.ok()) {
        report.failures.push_back(made.message());
        return report;
    }
    ExportFileNames names(chatsFolder, recoverPath);
    MessageAttachmentCopy media(result, recoverPath, report);
    DisplayTextCache dates;
    const PageRun run{result, names, media, dates, report, control};
    for (const KTWhatsAppCovNode* chat : conversations) {
        if (chat == nullptr) {
            continue;
        }
        if (control.stopRequested()) {
            report.failures.push_back("export cancelled before the chat " + chat->currentChatName);
            break;
        }
        if (!writeConversation(run, *chat, titleOf(*chat), pageMessagesOf(result, *chat), split)) {
            report.failures.push_back("export cancelled at the chat " + chat->currentChatName);
            break;
        }
        control.countItem();
    }
    return report;
}

}  // namespace

ExportReport exportChatsAsHtml(const ScanResult& result,
                               std::span<const KTWhatsAppCovNode* const> conversations,
                               const std::string& recoverPath, const ExportControl& control) {
    return writeChatPages(
        result, conversations, recoverPath, control, true, [](const KTWhatsAppCovNode& chat) {
            return chat.currentChatName + " (" + std::string(orNull(chat.currentSubject)) + ")";
        });
}

ExportReport writeRecoveredChatPages(const ScanResult& result,
                                     std::span<const KTWhatsAppCovNode* const> conversations,
                                     const std::string& recoverPath, const ExportControl& control) {
    const std::string title = result.account ? result.account->whatsAppNodeName.str() : "";
    return writeChatPages(result, conversations, recoverPath, control, false,
                          [&title](const KTWhatsAppCovNode&) { return title; });
}

}  // namespace vessamo
