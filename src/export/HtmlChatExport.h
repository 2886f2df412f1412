#pragma once

#include <span>
#include <string>

#include "export/ExportReport.h"
#include "results/KTWhatsAppCovNode.h"
#include "results/ScanResult.h"

namespace vessamo {

// What a page and a text file say where a media file would be.
inline constexpr const char* kMediaNotInSource = "media file not in the backup";
inline constexpr const char* kMediaNotCopied = "media file could not be copied";
// A recovered message that names a media item whose own row is gone.
inline constexpr const char* kMediaNotRecovered = "attachment not recovered with the message";

// Writes each conversation as web pages into "<recoverPath>/Chats", newest
// message first, 5000 messages a page, with the messages' media copied into
// "<recoverPath>/Media Files" beside it. The conversations point into the
// result (live or recovered-only). Runs on the caller's thread; a stop
// request ends it between messages, leaving no partial page behind.
[[nodiscard]] ExportReport exportChatsAsHtml(
    const ScanResult& result, std::span<const KTWhatsAppCovNode* const> conversations,
    const std::string& recoverPath, const ExportControl& control = {});

// The combined recovery's chat pages: one page per conversation however long
// it is, titled with the account's name, media copied beside the pages.
[[nodiscard]] ExportReport writeRecoveredChatPages(
    const ScanResult& result, std::span<const KTWhatsAppCovNode* const> conversations,
    const std::string& recoverPath, const ExportControl& control = {});

}  // namespace vessamo
