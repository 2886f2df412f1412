#include "whatsapp/DeletedMessagesStage.h"

#include <optional>
#include <set>
#include <tuple>
#include <vector>

#include "backup/BackupFileLocator.h"
#include "carving/CarvingFile.h"
#include "carving/DeletedMessageCarver.h"
#include "common/NotificationCenter.h"
#include "common/SystemLog.h"
#include "whatsapp/ContactLookups.h"

namespace vessamo {

namespace {

constexpr std::string_view kSharedChatKey = "7c7fba66680ef796b916b067077cc246adacf01d";
constexpr std::string_view kOldChatKey = "1b6b187a1b60b9ae8b720c79e2c67f472bab09c0";

std::optional<std::string> findBackupChatDatabase(const ScanState& state,
                                                  const std::string& folder) {
    using L = BackupFileLocator;
    std::vector<std::string> candidates = {L::keyPath(folder, kSharedChatKey, state.biOS10version),
                                           L::keyPath(folder, kOldChatKey, false)};
    if (!state.index.whatsAppChatPath.empty()) {
        candidates.push_back(folder + "/" + state.index.whatsAppChatPath);
    }
    for (std::string& path : candidates) {
        if (L::exists(path)) {
            return std::move(path);
        }
    }
    return std::nullopt;
}

// The carver finds live rows too; the message reader has shown those already.
using MessageKey = std::tuple<int32_t, std::string, std::string>;

std::set<MessageKey> liveMessageKeys(const std::vector<KTWhatsAppNodePtr>& messages) {
    std::set<MessageKey> keys;
    for (const KTWhatsAppNodePtr& message : messages) {
        if (message && !message->bDeleted) {
            keys.emplace(message->chatID, message->messageContent, message->messageDate);
        }
    }
    return keys;
}

void attachPicture(const BackupFileIndex& index, ContactLookups& lookups, KTWhatsAppNode& message) {
    std::optional<std::string> picture;
    if (auto image = lookups.getContactImagepathByWhatsAppID(message.messageNumb)) {
        picture = index.getFileKeyBytheFilepath(*image);
        if (!picture) {
            picture = index.getFileKeyBytheFilepath(*image + ".thumb");
        }
    }
    message.whatsAppcontactPath = std::move(picture);
}

void handOver(ScanState& state, CarvedRecord record) {
    using Delivery = CarvedRecord::Delivery;
    if (record.delivery != Delivery::Post) {
        state.wpChatArray.push_back(record.message);
    }
    if (record.delivery != Delivery::Append) {
        state.notifications.post("DelScanWhatsAppInfo", std::move(record.message));
    }
}

// Carves the scan's private copy of the database; the source is never
// opened, let alone written.
void carveIntoScan(ScanState& state, const std::string& database, CarverVariant variant,
                   const std::atomic<bool>* stop) {
    const std::optional<std::string> copy = state.databaseCopy(database);
    if (!copy) {
        return;
    }
    const std::unique_ptr<CarvingFile> file = CarvingFile::open(*copy);
    if (!file) {
        return;
    }
    const std::set<MessageKey> live = liveMessageKeys(state.wpChatArray);
    ContactLookups lookups(state.contactArray, state.whatsAppFavContactArray);
    size_t liveRepeats = 0;
    DeletedMessageCarver carver(variant, stop);
    const bool finished = carver.carve(*file, [&](CarvedRecord record) {
        const KTWhatsAppNode& message = *record.message;
        if (live.contains({message.chatID, message.messageContent, message.messageDate})) {
            ++liveRepeats;
            return;
        }
        attachPicture(state.index, lookups, *record.message);
        handOver(state, std::move(record));
    });
    if (liveRepeats > 0) {
        SystemLog::write("Deleted-message recovery: " + std::to_string(liveRepeats) +
                         " carved records were live messages and were left out");
    }
    if (finished) {
        state.notifications.post("ScanProgressInfo", 80);
    }
}

}  // namespace

void scanDeletedWhatsAppMessageThread(ScanState& state, const std::string& folder) {
    if (folder.empty()) {
        return;
    }
    const std::optional<std::string> database = findBackupChatDatabase(state, folder);
    if (!database) {
        SystemLog::write("WhatsAppMessageDB is not exist");
        return;
    }
    carveIntoScan(state, *database, CarverVariant::Backup, &state.bStopScan);
}

void scanDeletediCloudWhatsAppMessageThread(ScanState& state, const std::string& folder) {
    carveIntoScan(state, folder + "/ChatStorage.sqlite", CarverVariant::ICloud, nullptr);
}

}  // namespace vessamo
