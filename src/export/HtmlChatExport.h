#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "export/ExportSource.h"
#include "results/KTWhatsAppCovNode.h"

namespace vessamo {

// Writes each conversation as web pages into "<recoverPath>/Chats", newest
// message first, 5000 messages a page, with the messages' media copied into
// "<recoverPath>/Media Files" beside it. The conversations are the ones the
// user marked; any not yet filled are filled from the source's message list.
// Runs on the caller's thread; a set cancel flag stops it between messages.
[[nodiscard]] ExportReport exportChatsAsHtml(const ExportSource& source,
                                             const std::vector<KTWhatsAppCovNodePtr>& conversations,
                                             const std::string& recoverPath,
                                             const std::atomic<bool>* cancel,
                                             ItemCounter* counter = nullptr);

// The combined recovery's chat pages: one page per conversation however long
// it is, titled with the account's name, media copied beside the pages.
[[nodiscard]] ExportReport writeRecoveredChatPages(
    const ExportSource& source, const std::vector<KTWhatsAppCovNodePtr>& conversations,
    const std::string& recoverPath);

}  // namespace vessamo
