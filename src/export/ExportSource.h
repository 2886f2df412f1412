#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup/KTIOSDeviceNode.h"
#include "results/KTWhatsAppCovNode.h"
#include "results/KTWhatsAppIDInfo.h"

namespace vessamo {

// The result view's exported-items counter; the progress window reads it
// while an export runs on its worker.
using ItemCounter = std::atomic<int32_t>;

// What every export reads: the scanned source and the scan's look-ups that
// outlive the scan. Kept apart from the controller so exports can be tested
// on records made by hand.
struct ExportSource {
    const KTIOSDeviceNode* node = nullptr;
    // The file holding a relative path of the backup's WhatsApp index.
    std::function<std::optional<std::string>(std::string_view)> getFileKeyBytheFilepath;
    bool bNewAppVersion = false;
    std::map<std::string, std::string> fileDateDict;  // media path -> message date
    std::string fullTimelinPath;                      // Timeline sources
    std::string tempfilePath;                         // unpacked iCloud archives
    std::string currentScanPath;                      // the chat database last read
    KTWhatsAppIDInfoPtr account;
    // Conversations that exist only as recovered messages.
    std::vector<KTWhatsAppCovNodePtr> deletedConversations;
};

// What an export did: files written and, for each one it could not write,
// a line saying which and why. The desktop application stays silent as it
// always has; the command line prints the failures and fails.
struct ExportReport {
    size_t filesWritten = 0;
    std::vector<std::string> failures;

    void merge(const ExportReport& other) {
        filesWritten += other.filesWritten;
        failures.insert(failures.end(), other.failures.begin(), other.failures.end());
    }
};

}  // namespace vessamo
