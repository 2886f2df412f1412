#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "export/ExportReport.h"
#include "results/KTWhatsAppCovNode.h"
#include "results/ScanResult.h"

namespace vessamo {

// The folder the report makes below the destination.
inline constexpr const char* kReportFolder = "Report";

struct ReportOptions {
    bool utc = false;  // times in UTC instead of the local zone
    size_t messagesPerPage = 2000;
};

// The chat report: a folder a person can read, print and keep, that opens
// in any browser without the program. "<recoverPath>/Report" holds
// index.html (source, account, totals, a sortable and searchable table of
// the conversations), search-index.js, and in "Chats" each conversation
// oldest first as pages of messagesPerPage with its messages as JSON beside
// them; media are copied into "Media Files", contact cards into "Cards".
// Runs on the caller's thread; a stop request ends it between messages,
// leaving no partial page and no index behind.
[[nodiscard]] ExportReport exportChatReport(const ScanResult& result,
                                            std::span<const KTWhatsAppCovNode* const> conversations,
                                            const std::string& recoverPath,
                                            const ReportOptions& options = {},
                                            const ExportControl& control = {});

}  // namespace vessamo
