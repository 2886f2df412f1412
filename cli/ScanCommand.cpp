#include "ScanCommand.h"

#include <filesystem>
#include <iomanip>
#include <ostream>

#include "ScanJson.h"
#include "ScanSession.h"
#include "app/OrlendoAppDelegate.h"
#include "results/ConversationFiller.h"

namespace vessamo::cli {

void printScanSummary(OrlendoAppDelegate& controller, const KTIOSDeviceNode& source, bool stopped,
                      std::ostream& out) {
    const auto& deleted = controller.resultView().deletedMessages().conversations();
    size_t deletedMessages = 0;
    for (const auto& chat : deleted) {
        deletedMessages += chat->appNodeArray.size();
    }
    size_t recoveredInChats = 0;
    for (const auto& message : source.WhatsAppChatArray) {
        recoveredInChats += message->bDeleted ? 1 : 0;
    }
    out << (stopped ? "Scan stopped; partial results of " : "Scanned ") << source.backUpFilePath
        << '\n';
    auto row = [&out](const char* label, size_t count) {
        out << "  " << std::left << std::setw(24) << label << count << '\n';
    };
    row("Conversations", source.WhatsAppConvChatArray.size());
    row("Messages", source.WhatsAppChatArray.size());
    row("Recovered in chats", recoveredInChats);
    row("Recovered conversations", deleted.size());
    row("Recovered messages", deletedMessages);
    row("Calls", source.WhatsAppCallArray.size());
    row("Contacts", source.WhatsAppContactArray.size());
    row("WhatsApp contacts", source.WhatsAppFacContactArray.size());
    row("Media files", source.WhatsAppMediaArray.size());
    row("Attachments", source.WhatsAppResourceArray.size());
}

int runScan(const ScanOptions& options, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    if (!std::filesystem::is_directory(options.folder, ec)) {
        err << "Not a folder: " << options.folder << '\n';
        return 2;
    }
    ScanSession session(err);
    if (!session.scan(options.folder, options.deleted, options.kind)) {
        err << "The scan did not start.\n";
        return 1;
    }
    OrlendoAppDelegate& controller = session.controller();
    const KTIOSDeviceNode& source = *controller.currentNode;
    if (options.json) {
        out << scanResultToJson(controller, source).dump(2) << '\n';
    } else {
        printScanSummary(controller, source, session.interrupted(), out);
    }
    return session.interrupted() ? 130 : 0;
}

}  // namespace vessamo::cli
