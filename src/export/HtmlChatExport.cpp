#include "export/HtmlChatExport.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "export/HtmlText.h"
#include "export/KTHtmlController.h"
#include "export/MessageAttachmentCopy.h"
#include "export/SafeFileName.h"
#include "results/ConversationFiller.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMessagesPerPage = 5000;

// Absent texts print the way the earlier exports printed them.
std::string orNull(const std::optional<std::string>& text) {
    return text.value_or("(null)");
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
// apart; a number alone is unique enough. The result is one safe component.
std::string pageFileName(const KTWhatsAppCovNode& chat, std::optional<size_t> page) {
    const std::string number = orNull(chat.currentChatNumber);
    std::string stem;
    if (utf16Length(chat.currentChatName) >= 2) {
        stem = chat.currentChatName + std::to_string(chat.chatID);
    } else if (utf16Length(number) >= 2) {
        stem = number;
    } else {
        stem = number + std::to_string(chat.chatID);
    }
    std::string name = safeFileName(stem);
    if (page) {
        name.append(1, '_').append(std::to_string(*page));
    }
    return name + ".html";
}

std::string conversationHeader(const KTWhatsAppCovNode& chat) {
    return "<p><h3>Name: " + htmlEscape(chat.currentChatName) +
           " &nbsp;&nbsp;Phone: " + htmlEscape(orNull(chat.currentChatNumber)) +
           " &nbsp;&nbsp;Subject: " + htmlEscape(orNull(chat.currentSubject)) + "</h3><hr/><p>";
}

std::string nameLine(const KTWhatsAppNode& message) {
    const bool noName = message.messageName.empty() || message.messageName == " ";
    return "<p class='name'>Name: " +
           htmlEscape(noName ? message.messageNumb : message.messageName) +
           " &nbsp;&nbsp; Date: " + htmlEscape(message.messageDate) + " <p>";
}

std::string textBubble(const KTWhatsAppNode& message) {
    const bool sent = message.messageType == "Send";
    if (utf16Length(message.vcardInfo) >= 2) {
        // Cards always get the green bubble; only the gap differs.
        return "<p class='triangle-isosceles2'> " + htmlEscape(message.vcardName) +
               (sent ? "       " : "        ") + htmlEscape(message.vcardInfo) + "</p>";
    }
    return std::string(sent ? "<p class='triangle-isosceles2'> "
                            : "<p class='triangle-isosceles'> ") +
           htmlEscape(message.messageContent) + " </p>";
}

std::string mediaElement(const KTWhatsAppNode& message, const std::string& copy) {
    const std::string src =
        "'../Media Files/" + htmlEscape(fs::path(copy).filename().string()) + "'";
    const bool received = message.messageType == "Receive";
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

// A media message whose file cannot be copied is left out entirely, as is
// one that has only a thumbnail: its bubble would have nothing to show.
void appendMessage(const KTWhatsAppNode& message, KTHtmlController& page,
                   MessageAttachmentCopy& media) {
    if (!message.isHaveAttch) {
        page.addHtmlContent(nameLine(message) + textBubble(message));
        return;
    }
    if (const std::optional<std::string> copy = media.recoverMessageAttachment(message)) {
        page.addHtmlContent(nameLine(message) + mediaElement(message, *copy));
    }
}

bool cancelled(const std::atomic<bool>* cancel) {
    return cancel != nullptr && cancel->load();
}

struct PageRun {
    const KTWhatsAppCovNode& chat;
    const std::string& chatsFolder;
    MessageAttachmentCopy& media;
    ExportReport& report;
    const std::atomic<bool>* cancel;
    std::string title;
};

// Writes messages [first, last] of the chat, newest first, as one page.
// False when cancelled before the page was complete; nothing is written then.
bool writePage(const PageRun& run, size_t first, size_t last, std::optional<size_t> page) {
    KTHtmlController html;
    html.initMessageHtmlHeader(run.title);
    html.addHtmlContent(conversationHeader(run.chat));
    for (size_t at = last + 1; at-- > first;) {
        if (cancelled(run.cancel)) {
            return false;
        }
        appendMessage(*run.chat.appNodeArray[at], html, run.media);
    }
    html.addHtmlContent("<hr/>");
    html.writeHtmlInPath(run.chatsFolder + "/" + pageFileName(run.chat, page), run.report);
    return true;
}

bool exportConversation(const PageRun& run, bool split) {
    const size_t count = run.chat.appNodeArray.size();
    if (count <= kMessagesPerPage || !split) {
        // An empty chat still gets its page with the header.
        return count == 0 ? writePage(run, 1, 0, std::nullopt)
                          : writePage(run, 0, count - 1, std::nullopt);
    }
    for (size_t k = 0; k * kMessagesPerPage < count; ++k) {
        const size_t last = count - 1 - k * kMessagesPerPage;
        const size_t first = count - std::min(count, (k + 1) * kMessagesPerPage);
        if (!writePage(run, first, last, k)) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> makeChatsFolder(const std::string& recoverPath, ExportReport& report) {
    const std::string chatsFolder = recoverPath + "/Chats";
    std::error_code ec;
    fs::create_directories(chatsFolder, ec);
    if (ec) {
        report.failures.push_back("cannot create " + chatsFolder + ": " + ec.message());
        return std::nullopt;
    }
    return chatsFolder;
}

// What both page writers set up: the pages' folder and the copier of the
// messages' media beside it.
struct ChatPagesRun {
    ChatPagesRun(const ExportSource& source, const std::string& recoverPath)
        : chatsFolder(makeChatsFolder(recoverPath, report)), media(source, recoverPath, report) {}

    ExportReport report;  // first: the members after it write into it
    std::optional<std::string> chatsFolder;
    MessageAttachmentCopy media;
};

const std::vector<KTWhatsAppNodePtr>& messagesOf(const ExportSource& source) {
    static const std::vector<KTWhatsAppNodePtr> none;
    return source.node != nullptr ? source.node->WhatsAppChatArray : none;
}

// Chats are filled a run at a time and each list the run filled goes again
// once its pages are written: exporting every chat of a large backup would
// otherwise keep a second copy of the message list for good. Opening a chat
// fills it anew. The export leaves starred messages out, unlike the chat view.
template <typename WriteChat>
void forEachFilledChat(const ExportSource& source,
                       const std::vector<KTWhatsAppCovNodePtr>& conversations,
                       WriteChat&& writeChat) {
    ConversationBatches batches(messagesOf(source), conversations);
    bool goOn = true;
    for (auto batch = batches.next(); !batch.conversations.empty(); batch = batches.next()) {
        for (size_t i = 0; i < batch.conversations.size(); ++i) {
            const KTWhatsAppCovNodePtr& chat = batch.conversations[i];
            if (chat && goOn) {
                goOn = writeChat(*chat);
            }
            if (batch.filledHere[i]) {
                ConversationBatches::giveBack(*chat);
            }
        }
        if (!goOn) {
            return;
        }
    }
}

}  // namespace

ExportReport exportChatsAsHtml(const ExportSource& source,
                               const std::vector<KTWhatsAppCovNodePtr>& conversations,
                               const std::string& recoverPath, const std::atomic<bool>* cancel,
                               ItemCounter* counter) {
    ChatPagesRun run(source, recoverPath);
    if (!run.chatsFolder) {
        return run.report;
    }
    forEachFilledChat(source, conversations, [&](const KTWhatsAppCovNode& chat) {
        if (cancelled(cancel)) {
            run.report.failures.push_back("export cancelled before the chat " +
                                          chat.currentChatName);
            return false;
        }
        const std::string title = chat.currentChatName + " (" + orNull(chat.currentSubject) + ")";
        if (!exportConversation(
                PageRun{chat, *run.chatsFolder, run.media, run.report, cancel, title}, true)) {
            run.report.failures.push_back("export cancelled at the chat " + chat.currentChatName);
            return false;
        }
        if (counter != nullptr) {
            ++*counter;
        }
        return true;
    });
    return run.report;
}

ExportReport writeRecoveredChatPages(const ExportSource& source,
                                     const std::vector<KTWhatsAppCovNodePtr>& conversations,
                                     const std::string& recoverPath) {
    ChatPagesRun run(source, recoverPath);
    if (!run.chatsFolder) {
        return run.report;
    }
    const std::string title = source.account ? source.account->whatsAppNodeName : "";
    forEachFilledChat(source, conversations, [&](const KTWhatsAppCovNode& chat) {
        (void)exportConversation(
            PageRun{chat, *run.chatsFolder, run.media, run.report, nullptr, title}, false);
        return true;
    });
    return run.report;
}

}  // namespace vessamo
