#include "ScanCommand.h"

#include <unistd.h>

#include <filesystem>
#include <iomanip>
#include <ostream>

#include "ConsoleUiPort.h"
#include "InterruptWatcher.h"
#include "ProgressDisplay.h"
#include "ScanJson.h"
#include "app/OrlendoAppDelegate.h"
#include "results/ConversationFiller.h"

namespace vessamo::cli {

namespace {

void printSummary(OrlendoAppDelegate& controller, const KTIOSDeviceNode& source, bool stopped,
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

}  // namespace

int runScan(const ScanOptions& options, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    if (!std::filesystem::is_directory(options.folder, ec)) {
        err << "Not a folder: " << options.folder << '\n';
        return 2;
    }
    ProgressDisplay progress(err, isatty(STDERR_FILENO) != 0);
    ConsoleUiPort ui(err);
    ui.setPrinter([&progress](const std::string& line) { progress.note(line); });
    NotificationCenter& center = NotificationCenter::defaultCenter();
    OrlendoAppDelegate* controllerPtr = nullptr;
    std::atomic<bool> interrupted{false};
    InterruptWatcher watcher([&] {
        interrupted = true;
        if (controllerPtr != nullptr) {
            controllerPtr->requestStop();
        }
    });
    OrlendoAppDelegate controller(ui, center, OrlendoAppDelegate::Options{});
    controllerPtr = &controller;
    ScopedObserver shown(center, "ScanProgressInfo", [&progress](const Notification& note) {
        if (const int* percent = std::any_cast<int>(&note.object)) {
            progress.show(*percent);
        }
    });
    controller.ClickAdvancedRecoveryMode(options.deleted);
    controller.openPanelDidEnd1(options.folder);
    controller.waitForScan();
    progress.finish();
    controllerPtr = nullptr;

    const KTIOSDeviceNodePtr source = controller.currentNode;
    if (!source) {
        err << "The scan did not start.\n";
        return 1;
    }
    if (options.json) {
        out << scanResultToJson(controller, *source).dump(2) << '\n';
    } else {
        printSummary(controller, *source, interrupted.load(), out);
    }
    return interrupted.load() ? 130 : 0;
}

}  // namespace vessamo::cli
