#pragma once

#include <string>
#include <vector>

#include "results/ScanResult.h"

namespace vessamo {

// What a finished scan amounts to for the person who started it. A source
// whose files are damaged, and one that holds no WhatsApp data at all, must
// not pass for a source with nothing in it.
enum class ScanVerdict {
    read,            // records were read (some files may still be damaged)
    unreadable,      // damage kept every message from being read
    noWhatsAppData,  // nothing damaged, but no WhatsApp data either
};

struct ScanOutcome {
    ScanVerdict verdict = ScanVerdict::read;
    // One line per damaged file: "ChatStorage.sqlite is damaged: ...".
    std::vector<std::string> damage;
    // What to tell when the verdict is not `read`; empty otherwise.
    std::string warning;
};

// A stopped scan is judged `read`: it did not look at everything.
[[nodiscard]] ScanOutcome outcomeOf(const ScanResult& result);

// Whether the result holds anything of WhatsApp: messages, chats, calls,
// WhatsApp contacts, media (but for a Timeline's) or the account. The
// phone's address book alone is not WhatsApp data.
[[nodiscard]] bool holdsWhatsAppData(const ScanResult& result);

}  // namespace vessamo
