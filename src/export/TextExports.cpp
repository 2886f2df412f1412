#include "export/TextExports.h"

#include <cctype>
#include <charconv>
#include <limits>
#include <mutex>
#include <unordered_set>

#include "common/Files.h"
#include "export/ExportFileNames.h"
#include "export/HtmlChatExport.h"
#include "export/KTRtfController.h"
#include "export/KTVCFController.h"
#include "export/MessageAttachmentCopy.h"
#include "results/DisplayText.h"

namespace vessamo {

namespace {

std::optional<std::string> makeFolder(const std::string& recoverPath, std::string_view name,
                                      ExportReport& report) {
    std::string folder = recoverPath + "/" + std::string(name);
    if (const Status made = makeFoldersWithin({recoverPath, folder}); !made.ok()) {
        report.failures.push_back(made.message());
        return std::nullopt;
    }
    return folder;
}

// A stopped export says where it stopped; true when it must stop.
bool stopsBefore(const ExportControl& control, std::string_view what, ExportReport& report) {
    if (!control.stopRequested()) {
        return false;
    }
    report.failures.push_back("export cancelled before " + std::string(what));
    return true;
}

// Counts what was written and keeps the reason for what was not.
void record(ExportReport& report, const Status& write) {
    if (write.ok()) {
        ++report.filesWritten;
    } else {
        report.failures.push_back(write.message());
    }
}

// A media message keeps its line: its caption as the message, and the
// name of its file, or that the source does not hold it.
std::string mediaPart(const ScanResult& result, const KTWhatsAppNode& message,
                      ExportReport& report) {
    if (!message.isHaveAttch || message.messageAttchpath.empty()) {
        return "";
    }
    std::string part = "Media:" + std::string(lastComponent(message.messageAttchpath));
    if (!findMessageMedia(result, message)) {
        report.noteMissing(message.messageAttchpath);
        part += std::string(" (") + kMediaNotInSource + ")";
    }
    return part + "  ";
}

std::string chatText(const ScanResult& result, const KTWhatsAppCovNode& conversation,
                     DisplayTextCache& dates, ExportReport& report) {
    KTRtfController text;
    const MessageRange messages = result.messagesOf(conversation);
    for (size_t at = messages.size(); at-- > 0;) {
        const KTWhatsAppNode& message = messages[at];
        if (message.isSystem()) {
            text.addRtfContent("--- " + message.systemText +
                               " ---  date:" + dates.messageDate(message.messageDate) + "  ");
            continue;
        }
        text.addRtfContent("Name:" + message.messageName + "  Message:" + message.messageContent +
                           "  " + mediaPart(result, message, report) +
                           "date:" + dates.messageDate(message.messageDate) + "  ");
    }
    return std::move(text.strRtfContent);
}

}  // namespace

ExportReport ExportChatAsTextthreader(const ScanResult& result,
                                      std::span<const KTWhatsAppCovNode* const> conversations,
                                      const std::string& recoverPath,
                                      const ExportControl& control) {
    ExportReport report;
    const auto folder = makeFolder(recoverPath, "Chats", report);
    if (!folder) {
        return report;
    }
    ExportFileNames names(*folder, recoverPath);
    DisplayTextCache dates;
    for (const KTWhatsAppCovNode* conversation : conversations) {
        if (conversation == nullptr) {
            continue;
        }
        if (stopsBefore(control, "the chat " + conversation->currentChatName, report)) {
            break;
        }
        const std::string stem = conversation->currentChatName + "-" +
                                 std::string(conversation->currentSubject.value_or("(null)"));
        const std::string path = names.claim(stem, ".txt");
        record(report, writeFileAtomically(path, chatText(result, *conversation, dates, report),
                                           WriteMode::replace, Flush::none, recoverPath));
    }
    return report;
}

ExportReport ExportSelectedChatContactsthreader(
    const ScanResult& result, std::span<const KTWhatsAppCovNode* const> conversations,
    const std::string& recoverPath, const ExportControl& control) {
    ExportReport report;
    const auto folder = makeFolder(recoverPath, "Chats", report);
    if (!folder) {
        return report;
    }
    // One card per person, found by number; two people of one name get
    // "Name.vcf" and "Name (2).vcf". A card already tried this run is not
    // tried again, so a person who cannot be written is reported once.
    ExportFileNames names(*folder, recoverPath);
    std::unordered_set<std::string> tried;
    for (const KTWhatsAppCovNode* conversation : conversations) {
        if (conversation == nullptr) {
            continue;
        }
        if (stopsBefore(control, "the chat " + conversation->currentChatName, report)) {
            break;
        }
        const MessageRange messages = result.messagesOf(*conversation);
        for (size_t at = messages.size(); at-- > 0;) {
            const KTWhatsAppNode& message = messages[at];
            if (message.isSystem()) {
                continue;  // nobody wrote it: no card
            }
            const Text name =
                message.messageName.empty() ? message.messageNumb : message.messageName;
            const Text person = message.messageNumb.empty() ? name : message.messageNumb;
            const std::string path = names.claim(name, ".vcf", person);
            if (!tried.insert(path).second) {
                continue;
            }
            KTVCFController card(names.root());
            const Status write = card.creatContactFile(message, path, WriteMode::keepExisting);
            if (write.ok()) {
                ++report.filesWritten;
            } else if (!write.is(StatusCode::alreadyExists)) {
                report.failures.push_back(write.message());
            }
        }
    }
    return report;
}

ExportReport ExportChatContactsthreader(const ScanResult& result, const std::string& recoverPath,
                                        const ExportControl& control) {
    ExportReport report;
    const auto folder = makeFolder(recoverPath, "Contact", report);
    if (!folder) {
        return report;
    }
    ExportFileNames names(*folder, recoverPath);
    for (const KTContactNode& contact : result.WhatsAppContactArray) {
        if (stopsBefore(control, "the contact " + contact.contactName, report)) {
            break;
        }
        control.countItem();
        if (contact.contactName.empty()) {
            continue;
        }
        const std::string path = names.claim(contact.contactName, ".vcf");
        record(report, KTVCFController(names.root()).creatFile(contact, path));
    }
    return report;
}

namespace {

// One card of a WhatsApp contact; false when the export must stop first.
bool writeFavCard(const KTWhatsAppFavContact& contact, ExportFileNames& names,
                  const ExportControl& control, ExportReport& report) {
    if (stopsBefore(control, "the WhatsApp contact " + contact.contactName, report)) {
        return false;
    }
    control.countItem();
    if (!contact.contactName.empty()) {
        const std::string path = names.claim(contact.contactName, ".vcf");
        record(report, KTVCFController(names.root()).creatFavFile(contact, path));
    }
    return true;
}

}  // namespace

ExportReport ExportChatFavContactsthreader(const ScanResult& result, const std::string& recoverPath,
                                           const ExportControl& control) {
    ExportReport report;
    const auto folder = makeFolder(recoverPath, "Favorites Contact", report);
    if (!folder) {
        return report;
    }
    ExportFileNames names(*folder, recoverPath);
    for (const KTWhatsAppFavContact& contact : result.WhatsAppFacContactArray) {
        if (!writeFavCard(contact, names, control, report)) {
            break;
        }
    }
    return report;
}

ExportReport ExportWhatsAppChatCallthreader(const ScanResult& result,
                                            const std::string& recoverPath,
                                            const ExportControl& control) {
    ExportReport report;
    const auto folder = makeFolder(recoverPath, "Call History", report);
    if (!folder) {
        return report;
    }
    KTRtfController text;
    DisplayTextCache dates;
    for (const KTCallHistoryNode& call : result.WhatsAppCallArray) {
        // Half a call list would pass for the whole one: a stop writes none.
        if (stopsBefore(control, "the call list was complete", report)) {
            return report;
        }
        control.countItem();
        text.addRtfContent("Name:" + call.callName + "  Phone:" + call.callPhone +
                           "  Date:" + dates.callDate(call.callDate) + "  Type:" + call.callType +
                           "  Duration:" + call.callDuration + "  ");
    }
    const std::string path = *folder + "/WhatsApp Call.txt";
    record(report, text.writeRtfInFullPath(path, recoverPath));
    return report;
}

uint64_t sizeFormString(std::string_view sizeText) {
    if (sizeText.empty()) {
        return 0;
    }
    std::string_view number = sizeText.substr(0, sizeText.size() - 1);
    while (!number.empty() && std::isspace(static_cast<unsigned char>(number.front()))) {
        number.remove_prefix(1);
    }
    if (!number.empty() && number.front() == '+') {
        number.remove_prefix(1);
    }
    // Like the size texts' own parser: the leading number counts, the rest
    // is ignored, and no number at all is 0.
    double value = 0.0;
    std::from_chars(number.data(), number.data() + number.size(), value);
    double scale = 1e12;
    switch (sizeText.back()) {
        case 'B':
            scale = 1.0;
            break;
        case 'K':
            scale = 1e3;
            break;
        case 'M':
            scale = 1e6;
            break;
        case 'G':
            scale = 1e9;
            break;
        default:
            break;
    }
    const double bytes = value * scale;
    if (!(bytes >= 1.0)) {
        return 0;
    }
    if (bytes >= static_cast<double>(std::numeric_limits<uint64_t>::max())) {
        return std::numeric_limits<uint64_t>::max();
    }
    return static_cast<uint64_t>(bytes);
}

namespace {

// Each part of the combined recovery returns false when it was stopped.
bool recoverResources(const ScanResult& result,
                      std::span<const KTWhatsAppResourceNode* const> resources,
                      const std::string& recoverPath, const ExportControl& control,
                      ExportReport& report) {
    const auto folder = makeFolder(recoverPath, "Resource", report);
    if (!folder) {
        return true;
    }
    ExportFileNames names(*folder, recoverPath);
    CopyBuffer buffer;
    for (const KTWhatsAppResourceNode* resource : resources) {
        if (resource == nullptr) {
            continue;
        }
        if (stopsBefore(control, "the resource " + resource->nodeName, report)) {
            return false;
        }
        control.countItem();
        // The same file checked twice is copied to the same name.
        const std::string destination = names.claim(resource->nodeName, "", resource->nodePath);
        record(report, copyFileInPieces(withinSource(result, resource->nodePath),
                                        {recoverPath, destination}, buffer));
    }
    return true;
}

bool recoverFavourites(std::span<const KTWhatsAppFavContact* const> contacts,
                       const std::string& recoverPath, const ExportControl& control,
                       ExportReport& report) {
    const auto folder = makeFolder(recoverPath, "Favrites", report);
    if (!folder) {
        return true;
    }
    ExportFileNames names(*folder, recoverPath);
    for (const KTWhatsAppFavContact* contact : contacts) {
        if (contact != nullptr && !writeFavCard(*contact, names, control, report)) {
            return false;
        }
    }
    return true;
}

std::string contactLine(const KTContactNode& contact) {
    return "Name:" + contact.contactName + "  Phone:" + contact.contactPhone +
           "  Email:" + contact.contactEmail + "  Company:" + contact.contactCompany +
           "  JobTitle:" + contact.contactJobtitle + "  Home Page:" + contact.contactHomepage +
           "  Birthday:" + contact.contactBirthday + "  Note:" + contact.contactNote + "  ";
}

std::string recoveredCardName(const KTContactNode& contact) {
    if (!contact.contactName.empty()) {
        return contact.contactName;
    }
    if (!contact.contactCompany.empty()) {
        return contact.contactCompany;
    }
    return "unknown " + std::to_string(contact.rowid);
}

bool recoverContacts(std::span<const KTContactNode* const> contacts, const std::string& recoverPath,
                     const ExportControl& control, ExportReport& report) {
    const auto folder = makeFolder(recoverPath, "Contact", report);
    if (!folder) {
        return true;
    }
    ExportFileNames names(*folder, recoverPath);
    KTRtfController text;
    for (const KTContactNode* contact : contacts) {
        if (contact == nullptr) {
            continue;
        }
        // A stopped recovery writes no list: half of one would pass for all.
        if (stopsBefore(control, "the contact " + recoveredCardName(*contact), report)) {
            return false;
        }
        control.countItem();
        text.addRtfContent(contactLine(*contact));
        const std::string path = names.claim(recoveredCardName(*contact), ".vcf");
        record(report, KTVCFController(names.root()).creatFile(*contact, path));
    }
    const KTRtfController::CategoryWrite list =
        text.writeRtfInPath(*folder, "Contact", recoverPath);
    record(report, list.write);
    if (!list.renameNote.empty()) {
        report.failures.push_back(list.finalPath + ": " + list.renameNote);
    }
    return true;
}

}  // namespace

ExportReport recoverFilesThread(const ScanResult& result, const RecoveryLists& lists,
                                const std::string& recoverPath, const ExportControl& control) {
    // Held for the whole run, so a second recovery started from the view
    // cannot interleave its files with the first.
    static std::mutex recoveryMutex;
    const std::lock_guard<std::mutex> lock(recoveryMutex);
    ExportReport report;
    const bool goOn = recoverResources(result, lists.resources, recoverPath, control, report) &&
                      recoverFavourites(lists.favContacts, recoverPath, control, report) &&
                      recoverContacts(lists.contacts, recoverPath, control, report);
    // The Chats folder is made even when no chat was checked, as it always was.
    if (goOn && makeFolder(recoverPath, "Chats", report) && !lists.conversations.empty()) {
        report.merge(writeRecoveredChatPages(result, lists.conversations, recoverPath, control));
    }
    return report;
}

}  // namespace vessamo
