#include "export/TextExports.h"

#include <cctype>
#include <charconv>
#include <filesystem>
#include <limits>
#include <mutex>
#include <system_error>
#include <unordered_set>

#include "export/KTRtfController.h"
#include "export/KTVCFController.h"
#include "export/SafeFileName.h"
#include "results/ConversationFiller.h"

namespace vessamo {

namespace fs = std::filesystem;

namespace {

// The combined recovery holds this for its whole run, so a second one started
// from the view cannot interleave its files with the first.
std::mutex recoveryMutex;

void countItem(ItemCounter* counter) {
    if (counter != nullptr) {
        counter->fetch_add(1, std::memory_order_relaxed);
    }
}

const KTIOSDeviceNode* scannedNode(const ExportSource& source, ExportReport& report) {
    if (source.node == nullptr) {
        report.failures.push_back("no scanned source to export from");
    }
    return source.node;
}

std::optional<std::string> makeFolder(const std::string& recoverPath, std::string_view name,
                                      ExportReport& report) {
    std::string folder = recoverPath + "/" + std::string(name);
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder, error)) {
        report.failures.push_back(folder + ": cannot create the folder: " + error.message());
        return std::nullopt;
    }
    return folder;
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
    void record(const std::string& path, const FileWrite& write) {
        if (write.written) {
            if (counted_.insert(path).second) {
                ++report_.filesWritten;
            }
        } else if (!write.error.empty()) {
            report_.failures.push_back(path + ": " + write.error);
        }
    }
    void write(const std::string& path, const std::function<FileWrite()>& writer) {
        noteTarget(path);
        record(path, writer());
    }

private:
    ExportReport& report_;
    std::string records_;
    std::unordered_set<std::string> targets_;
    std::unordered_set<std::string> counted_;
};

std::vector<KTWhatsAppCovNodePtr> handledConversations(const KTIOSDeviceNode& node,
                                                       std::optional<size_t> selectedRow) {
    std::vector<KTWhatsAppCovNodePtr> handled;
    const ConversationFiller filler(node.WhatsAppChatArray);
    for (size_t row = 0; row < node.WhatsAppConvChatArray.size(); ++row) {
        const KTWhatsAppCovNodePtr& conversation = node.WhatsAppConvChatArray[row];
        if (conversation && (selectedRow == row || conversation->bSelected)) {
            filler.fill(*conversation);
            handled.push_back(conversation);
        }
    }
    return handled;
}

std::string chatText(const KTWhatsAppCovNode& conversation) {
    KTRtfController text;
    for (auto it = conversation.appNodeArray.rbegin(); it != conversation.appNodeArray.rend();
         ++it) {
        const KTWhatsAppNode& message = **it;
        if (!message.isHaveAttch) {
            text.addRtfContent("Name:" + message.messageName + "  Message:" +
                               message.messageContent + "  date:" + message.messageDate + "  ");
        }
    }
    return text.strRtfContent;
}

std::string cardPath(const std::string& folder, std::string_view name) {
    return folder + "/" + safeFileName(name) + ".vcf";
}

}  // namespace

ExportReport ExportChatAsTextthreader(const ExportSource& source, const std::string& recoverPath,
                                      std::optional<size_t> selectedRow) {
    ExportReport report;
    const KTIOSDeviceNode* node = scannedNode(source, report);
    const auto folder = node ? makeFolder(recoverPath, "Chats", report) : std::nullopt;
    if (!folder) {
        return report;
    }
    RunFiles files(report, "conversations");
    for (const KTWhatsAppCovNodePtr& conversation : handledConversations(*node, selectedRow)) {
        const std::string stem =
            conversation->currentChatName + "-" + conversation->currentSubject.value_or("(null)");
        const std::string path = *folder + "/" + safeFileName(stem) + ".txt";
        files.write(path, [&] { return writeFileSafely(path, chatText(*conversation)); });
    }
    return report;
}

ExportReport ExportSelectedChatContactsthreader(const ExportSource& source,
                                                const std::string& recoverPath,
                                                std::optional<size_t> selectedRow) {
    ExportReport report;
    const KTIOSDeviceNode* node = scannedNode(source, report);
    const auto folder = node ? makeFolder(recoverPath, "Chats", report) : std::nullopt;
    if (!folder) {
        return report;
    }
    // A name already tried this run is not tried again, so a person who
    // cannot be written is reported once, not once per message.
    std::unordered_set<std::string> tried;
    for (const KTWhatsAppCovNodePtr& conversation : handledConversations(*node, selectedRow)) {
        for (auto it = conversation->appNodeArray.rbegin(); it != conversation->appNodeArray.rend();
             ++it) {
            const KTWhatsAppNode& message = **it;
            const std::string path = cardPath(
                *folder, message.messageName.empty() ? message.messageNumb : message.messageName);
            if (!tried.insert(path).second) {
                continue;
            }
            KTVCFController card;
            const FileWrite write = card.creatContactFile(message, path, WriteMode::keepExisting);
            if (write.written) {
                ++report.filesWritten;
            } else if (!write.alreadyThere) {
                report.failures.push_back(path + ": " + write.error);
            }
        }
    }
    return report;
}

ExportReport ExportChatContactsthreader(const ExportSource& source, const std::string& recoverPath,
                                        ItemCounter* counter) {
    ExportReport report;
    const KTIOSDeviceNode* node = scannedNode(source, report);
    const auto folder = node ? makeFolder(recoverPath, "Contact", report) : std::nullopt;
    if (!folder) {
        return report;
    }
    RunFiles files(report, "contacts");
    for (const KTContactNodePtr& contact : node->WhatsAppContactArray) {
        countItem(counter);
        if (!contact || contact->contactName.empty()) {
            continue;
        }
        const std::string path = cardPath(*folder, contact->contactName);
        files.write(path, [&] { return KTVCFController().creatFile(*contact, path); });
    }
    return report;
}

namespace {

void writeFavCards(const std::vector<KTWhatsAppFavContactPtr>& contacts, const std::string& folder,
                   bool onlySelected, ItemCounter* counter, ExportReport& report) {
    RunFiles files(report, "WhatsApp contacts");
    for (const KTWhatsAppFavContactPtr& contact : contacts) {
        if (!contact || (onlySelected && !contact->bSelected)) {
            continue;
        }
        countItem(counter);
        if (contact->contactName.empty()) {
            continue;
        }
        const std::string path = cardPath(folder, contact->contactName);
        files.write(path, [&] { return KTVCFController().creatFavFile(*contact, path); });
    }
}

}  // namespace

ExportReport ExportChatFavContactsthreader(const ExportSource& source,
                                           const std::string& recoverPath, ItemCounter* counter) {
    ExportReport report;
    const KTIOSDeviceNode* node = scannedNode(source, report);
    const auto folder = node ? makeFolder(recoverPath, "Favorites Contact", report) : std::nullopt;
    if (folder) {
        writeFavCards(node->WhatsAppFacContactArray, *folder, false, counter, report);
    }
    return report;
}

ExportReport ExportWhatsAppChatCallthreader(const ExportSource& source,
                                            const std::string& recoverPath, ItemCounter* counter) {
    ExportReport report;
    const KTIOSDeviceNode* node = scannedNode(source, report);
    const auto folder = node ? makeFolder(recoverPath, "Call History", report) : std::nullopt;
    if (!folder) {
        return report;
    }
    KTRtfController text;
    for (const KTCallHistoryNodePtr& call : node->WhatsAppCallArray) {
        if (!call) {
            continue;
        }
        countItem(counter);
        text.addRtfContent("Name:" + call->callName + "  Phone:" + call->callPhone +
                           "  Date:" + call->callDate + "  Type:" + call->callType +
                           "  Duration:" + call->callDuration + "  ");
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

void recoverResources(const std::vector<KTWhatsAppResourceNodePtr>& resources,
                      const std::string& recoverPath, const CopyMedia& copyMedia,
                      ItemCounter* counter, ExportReport& report) {
    const auto folder = makeFolder(recoverPath, "Resource", report);
    if (!folder) {
        return;
    }
    RunFiles files(report, "resources");
    for (const KTWhatsAppResourceNodePtr& resource : resources) {
        if (!resource || !resource->bSelected) {
            continue;
        }
        countItem(counter);
        const std::string destination = *folder + "/" + safeFileName(resource->nodeName);
        const bool again = files.noteTarget(destination);
        if (!copyMedia) {
            report.failures.push_back(destination + ": no media copier was given");
            continue;
        }
        ExportReport copied =
            copyMedia(resource->nodePath, destination, sizeFormString(resource->nodeSize));
        // A copy over a file this run already counted adds no file.
        if (again && copied.filesWritten > 0) {
            --copied.filesWritten;
        }
        report.merge(copied);
    }
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

void recoverContacts(const std::vector<KTContactNodePtr>& contacts, const std::string& recoverPath,
                     ItemCounter* counter, ExportReport& report) {
    const auto folder = makeFolder(recoverPath, "Contact", report);
    if (!folder) {
        return;
    }
    RunFiles files(report, "contacts");
    KTRtfController text;
    for (const KTContactNodePtr& contact : contacts) {
        if (!contact || !contact->bSelected) {
            continue;
        }
        countItem(counter);
        text.addRtfContent(contactLine(*contact));
        const std::string path = cardPath(*folder, recoveredCardName(*contact));
        files.write(path, [&] { return KTVCFController().creatFile(*contact, path); });
    }
    const KTRtfController::CategoryWrite list = text.writeRtfInPath(*folder, "Contact");
    files.record(list.finalPath, list.write);
    if (!list.renameNote.empty()) {
        report.failures.push_back(list.finalPath + ": " + list.renameNote);
    }
}

void recoverChats(const std::vector<KTWhatsAppCovNodePtr>& conversations,
                  const std::string& recoverPath, const WriteChatPages& writeChatPages,
                  ItemCounter* counter, ExportReport& report) {
    const auto folder = makeFolder(recoverPath, "Chats", report);
    if (!folder) {
        return;
    }
    std::vector<KTWhatsAppCovNodePtr> checked;
    for (const KTWhatsAppCovNodePtr& conversation : conversations) {
        if (conversation && conversation->bSelected) {
            countItem(counter);
            checked.push_back(conversation);
        }
    }
    if (checked.empty()) {
        return;
    }
    if (!writeChatPages) {
        report.failures.push_back(*folder + ": no chat page writer was given");
        return;
    }
    report.merge(writeChatPages(recoverPath, checked));
}

}  // namespace

ExportReport recoverFilesThread(const RecoveryLists& lists, const std::string& recoverPath,
                                const RecoveryActions& actions, ItemCounter* counter) {
    const std::lock_guard<std::mutex> lock(recoveryMutex);
    ExportReport report;
    recoverResources(lists.resources, recoverPath, actions.copyMedia, counter, report);
    const auto favFolder = makeFolder(recoverPath, "Favrites", report);
    if (favFolder) {
        writeFavCards(lists.favContacts, *favFolder, true, counter, report);
    }
    recoverContacts(lists.contacts, recoverPath, counter, report);
    recoverChats(lists.conversations, recoverPath, actions.writeChatPages, counter, report);
    return report;
}

}  // namespace vessamo
