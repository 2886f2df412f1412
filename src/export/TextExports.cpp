#include "export/TextExports.h"

#include <cctype>
#include <charconv>
#include <functional>
#include <limits>
#include <mutex>
#include <unordered_set>

#include "common/Files.h"
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
    if (const Status made = makeFolders(folder); !made.ok()) {
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

// Files written by one run. Files are replaced as they always were, but a
// record that replaces a file an earlier record of the same run wrote loses
// that record's file, which the report must say.
class RunFiles {
public:
    RunFiles(ExportReport& report, std::string_view records) : report_(report), records_(records) {}

    // Call before writing; true when this run already wrote the path.
    bool noteTarget(const std::string& path) {
        if (targets_.insert(path).second) {
            return false;
        }
        report_.failures.push_back(path + ": two " + records_ +
                                   " share this file name; the later one replaced the earlier");
        return true;
    }
    void record(const std::string& path, const Status& write) {
        if (write.ok()) {
            if (counted_.insert(path).second) {
                ++report_.filesWritten;
            }
        } else {
            report_.failures.push_back(write.message());
        }
    }
    void write(const std::string& path, const std::function<Status()>& writer) {
        noteTarget(path);
        record(path, writer());
    }

private:
    ExportReport& report_;
    std::string records_;
    std::unordered_set<std::string> targets_;
    std::unordered_set<std::string> counted_;
};

std::string chatText(const ScanResult& result, const KTWhatsAppCovNode& conversation,
                     DisplayTextCache& dates) {
    KTRtfController text;
    const MessageRange messages = result.messagesOf(conversation);
    for (size_t at = messages.size(); at-- > 0;) {
        const KTWhatsAppNode& message = messages[at];
        if (!message.isHaveAttch) {
            text.addRtfContent("Name:" + message.messageName +
                               "  Message:" + message.messageContent +
                               "  date:" + dates.messageDate(message.messageDate) + "  ");
        }
    }
    return std::move(text.strRtfContent);
}

std::string cardPath(const std::string& folder, std::string_view name) {
    return folder + "/" + safeFileName(name) + ".vcf";
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
    RunFiles files(report, "conversations");
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
        const std::string path = *folder + "/" + safeFileName(stem) + ".txt";
        files.write(path, [&] {
            return writeFileAtomically(path, chatText(result, *conversation, dates),
                                       WriteMode::replace, Flush::none);
        });
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
    // A name already tried this run is not tried again, so a person who
    // cannot be written is reported once, not once per message.
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
            const std::string path = cardPath(
                *folder, message.messageName.empty() ? message.messageNumb : message.messageName);
            if (!tried.insert(path).second) {
                continue;
            }
            KTVCFController card;
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
    RunFiles files(report, "contacts");
    for (const KTContactNode& contact : result.WhatsAppContactArray) {
        if (stopsBefore(control, "the contact " + contact.contactName, report)) {
            break;
        }
        control.countItem();
        if (contact.contactName.empty()) {
            continue;
        }
        const std::string path = cardPath(*folder, contact.contactName);
        files.write(path, [&] { return KTVCFController().creatFile(contact, path); });
    }
    return report;
}

namespace {

// One card of a WhatsApp contact; false when the export must stop first.
bool writeFavCard(const KTWhatsAppFavContact& contact, const std::string& folder,
                  const ExportControl& control, RunFiles& files, ExportReport& report) {
    if (stopsBefore(control, "the WhatsApp contact " + contact.contactName, report)) {
        return false;
    }
    control.countItem();
    if (!contact.contactName.empty()) {
        const std::string path = cardPath(folder, contact.contactName);
        files.write(path, [&] { return KTVCFController().creatFavFile(contact, path); });
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
    RunFiles files(report, "WhatsApp contacts");
    for (const KTWhatsAppFavContact& contact : result.WhatsAppFacContactArray) {
        if (!writeFavCard(contact, *folder, control, files, report)) {
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
    RunFiles(report, "call lists").record(path, text.writeRtfInFullPath(path));
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
bool recoverResources(std::span<const KTWhatsAppResourceNode* const> resources,
                      const std::string& recoverPath, const ExportControl& control,
                      ExportReport& report) {
    const auto folder = makeFolder(recoverPath, "Resource", report);
    if (!folder) {
        return true;
    }
    RunFiles files(report, "resources");
    CopyBuffer buffer;
    for (const KTWhatsAppResourceNode* resource : resources) {
        if (resource == nullptr) {
            continue;
        }
        if (stopsBefore(control, "the resource " + resource->nodeName, report)) {
            return false;
        }
        control.countItem();
        const std::string destination = *folder + "/" + safeFileName(resource->nodeName);
        // A copy over a file this run already counted adds no file.
        const bool again = files.noteTarget(destination);
        const Status copied = copyFileInPieces(resource->nodePath, destination, buffer);
        if (!copied.ok()) {
            report.failures.push_back(copied.message());
        } else if (!again) {
            ++report.filesWritten;
        }
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
    RunFiles files(report, "WhatsApp contacts");
    for (const KTWhatsAppFavContact* contact : contacts) {
        if (contact != nullptr && !writeFavCard(*contact, *folder, control, files, report)) {
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
    RunFiles files(report, "contacts");
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
        const std::string path = cardPath(*folder, recoveredCardName(*contact));
        files.write(path, [&] { return KTVCFController().creatFile(*contact, path); });
    }
    const KTRtfController::CategoryWrite list = text.writeRtfInPath(*folder, "Contact");
    files.record(list.finalPath, list.write);
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
    const bool goOn = recoverResources(lists.resources, recoverPath, control, report) &&
                      recoverFavourites(lists.favContacts, recoverPath, control, report) &&
                      recoverContacts(lists.contacts, recoverPath, control, report);
    // The Chats folder is made even when no chat was checked, as it always was.
    if (goOn && makeFolder(recoverPath, "Chats", report) && !lists.conversations.empty()) {
        report.merge(writeRecoveredChatPages(result, lists.conversations, recoverPath, control));
    }
    return report;
}

}  // namespace vessamo
