#include "ScanCommand.h"

#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <ostream>
#include <sstream>

#include "PasswordInput.h"
#include "ScanJson.h"
#include "ScanSession.h"
#include "app/ScanOutcome.h"

namespace vessamo::cli {

std::string scanSummary(const ScanResult& result) {
    const size_t recoveredInChats =
        std::count_if(result.WhatsAppChatArray.begin(), result.WhatsAppChatArray.end(),
                      [](const KTWhatsAppNode& message) { return message.bDeleted; });
    std::ostringstream out;
    out << (result.stopped ? "Scan stopped; partial results of " : "Scanned ") << result.folder
        << '\n';
    auto row = [&out](std::string_view label, const auto& value) {
        out << "  " << std::left << std::setw(24) << label << value << '\n';
    };
    row("Conversations", result.WhatsAppConvChatArray.size());
    const size_t messages =
        std::count_if(result.WhatsAppChatArray.begin(), result.WhatsAppChatArray.end(),
                      [](const KTWhatsAppNode& message) { return countsAsMessage(message); });
    row("Messages", messages);
    if (messages != result.WhatsAppChatArray.size()) {
        row("System lines", result.WhatsAppChatArray.size() - messages);
    }
    row("Recovered in chats", recoveredInChats);
    row("Recovered conversations", result.whatsAppArray.size());
    row("Recovered messages", result.recoveredMessages.size());
    row("Calls", result.WhatsAppCallArray.size());
    row("Contacts", result.WhatsAppContactArray.size());
    row("WhatsApp contacts", result.WhatsAppFacContactArray.size());
    row("Media files", result.WhatsAppMediaArray.size());
    row("Attachments", result.WhatsAppResourceArray.size());
    for (const Status& problem : result.problems) {
        row("Problem", problemLine(problem));
    }
    return out.str();
}

namespace {

// Exit statuses a script can tell apart: damage kept every message from
// being read; the source holds no WhatsApp data at all.
constexpr int kExitUnreadable = 3;
constexpr int kExitNoWhatsAppData = 4;

// The status of a scan that ran to its end, with the reason on err.
int exitStatusFor(const ScanResult& result, std::ostream& err) {
    const ScanOutcome outcome = outcomeOf(result);
    switch (outcome.verdict) {
        case ScanVerdict::unreadable:
            err << "Error: " << outcome.warning << '\n';
            return kExitUnreadable;
        case ScanVerdict::noWhatsAppData:
            err << "Warning: " << outcome.warning << '\n';
            return kExitNoWhatsAppData;
        case ScanVerdict::read:
            break;
    }
    return 0;
}

}  // namespace

int runScan(const ScanCommandOptions& options, std::FILE* out, std::ostream& err) {
    std::error_code ec;
    if (!std::filesystem::is_directory(options.folder, ec)) {
        err << "Not a folder: " << options.folder << '\n';
        return 2;
    }
    ScanSource source = describeSource(options.folder, options.kind, options.deleted);
    if (const int refused = unlockSource(source, options.passwordFile, err); refused != 0) {
        return refused;
    }
    ScanSession session(err);
    const ScanResultPtr result = session.scan(source);
    if (options.json) {
        if (!writeScanJson(*result, source.record, out)) {
            err << "Could not write the JSON to the standard output.\n";
            return 1;
        }
    } else {
        const std::string summary = scanSummary(*result);
        std::fwrite(summary.data(), 1, summary.size(), out);
        if (!options.deleted) {
            err << "Deleted messages were not looked for: scan with --deleted to recover them.\n";
        }
    }
    if (session.interrupted()) {
        return InterruptWatcher::exitStatus();
    }
    return exitStatusFor(*result, err);
}

}  // namespace vessamo::cli
