#include "app/ScanOutcome.h"

#include <algorithm>

namespace vessamo {

namespace {

// An I/O refusal keeps a file from being read as surely as damage does.
bool isDamage(const Status& problem) {
    return problem.is(StatusCode::corrupt) || problem.is(StatusCode::ioError);
}

std::string_view kindText(SourceKind kind) {
    switch (kind) {
        case SourceKind::ICloud:
            return "an iCloud Drive backup";
        case SourceKind::Timeline:
            return "a Timeline backup";
        case SourceKind::Backup:
            break;
    }
    return "an iPhone backup";
}

}  // namespace

bool holdsWhatsAppData(const ScanResult& result) {
    // The starred list is made for every backup, messages or not.
    const bool chats = std::any_of(
        result.WhatsAppConvChatArray.begin(), result.WhatsAppConvChatArray.end(),
        [](const KTWhatsAppCovNode& conversation) { return !conversation.bStarredCovMessage; });
    // A Timeline's media are every file of its folder, so alone they tell
    // nothing; a backup's come from WhatsApp's domains, iCloud's from its
    // archives.
    const bool media = !result.WhatsAppMediaArray.empty() && result.kind != SourceKind::Timeline;
    return chats || media || !result.WhatsAppChatArray.empty() ||
           !result.recoveredMessages.empty() || !result.WhatsAppCallArray.empty() ||
           !result.WhatsAppFacContactArray.empty() || result.account.has_value();
}

ScanOutcome outcomeOf(const ScanResult& result) {
    ScanOutcome outcome;
    for (const Status& problem : result.problems) {
        if (isDamage(problem)) {
            outcome.damage.push_back(problem.message());
        }
    }
    const bool messages = !result.WhatsAppChatArray.empty() || !result.recoveredMessages.empty();
    if (result.stopped) {
        return outcome;  // what a stopped scan did not reach says nothing of the source
    }
    if (!outcome.damage.empty() && !messages) {
        outcome.verdict = ScanVerdict::unreadable;
        outcome.warning = "No messages could be read from " + result.folder +
                          ": the files that hold them are damaged.";
    } else if (outcome.damage.empty() && !holdsWhatsAppData(result)) {
        outcome.verdict = ScanVerdict::noWhatsAppData;
        outcome.warning = "No WhatsApp data was found in " + result.folder + ", read as " +
                          std::string(kindText(result.kind)) + ".";
    }
    return outcome;
}

}  // namespace vessamo
