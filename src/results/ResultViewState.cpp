#include "results/ResultViewState.h"

#include <array>
#include <utility>

namespace vessamo {

std::string stageDescription(std::string_view stageName) {
    // The scan's stage names, each with what a person would call it.
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 20> kStages{{
        {"scanManifestDBThread", "Reading the backup catalogue"},
        {"scanDirAnalyThread", "Reading the backup catalogue"},
        {"scanContactThread", "Reading the address book"},
        {"ScanTimelineBackupContactWithPath", "Reading the address book"},
        {"getWhatsAppFavateContact", "Reading favourites"},
        {"getTimelineWhatsAppFavateContact", "Reading favourites"},
        {"getWhatsAppIDInfo", "Reading the account"},
        {"getiCloudWhatsAppIDInfo", "Reading the account"},
        {"getTimelineWhatsAppIDInfo", "Reading the account"},
        {"scanWhatsAppMessageThread", "Reading messages"},
        {"scaniCloudWhatsAppMessageThread", "Reading messages"},
        {"scanTimelineWhatsAppMessageThread", "Reading messages"},
        {"scanWhatsAppCalllogThread", "Reading calls"},
        {"getTimelineWhatsAppFavateCall", "Reading calls"},
        {"scanDeletedWhatsAppMessageThread", "Recovering deleted messages"},
        {"scanDeletediCloudWhatsAppMessageThread", "Recovering deleted messages"},
        {"compressWhatsAppMedia", "Unpacking media"},
        {"scanWhatsaAppMedia", "Reading media"},
        {"ScanTimelineBackupMediaWithPath", "Reading media"},
        {"setFullTimelinPath", "Opening the Timeline backup"},
    }};
    for (const auto& [name, words] : kStages) {
        if (name == stageName && !name.empty()) {
            return std::string(words);
        }
    }
    return {};
}

}  // namespace vessamo
