#include "whatsapp/DeletedMessagesStage.h"

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "backup/BackupFileLocator.h"
#include "carving/CarvingFile.h"
#include "carving/CarvingPrimitives.h"
#include "carving/DeletedMessageCarver.h"
#include "common/SystemLog.h"
#include "common/WhatsAppIds.h"
#include "whatsapp/ContactLookups.h"

namespace vessamo {

namespace {

constexpr std::string_view kSharedChatKey = "7c7fba66680ef796b916b067077cc246adacf01d";
constexpr std::string_view kOldChatKey = "1b6b187a1b60b9ae8b720c79e2c67f472bab09c0";
constexpr std::string_view kNoDatabase = "WhatsAppMessageDB is not exist";

// How much the carver's scratch store may hold before it is emptied.
constexpr size_t kScratchBytes = size_t{256} << 10;

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
struct MessageKey {
    int32_t chat;
    std::string_view text;
    std::optional<AppleTime> date;

    bool operator==(const MessageKey&) const = default;
};

struct MessageKeyHash {
    size_t operator()(const MessageKey& key) const {
        size_t hash = std::hash<std::string_view>{}(key.text);
        hash = hash * 31 + std::hash<int32_t>{}(key.chat);
        return hash * 31 + (key.date ? std::hash<int64_t>{}(key.date->seconds) : 0);
    }
};

using MessageKeys = std::unordered_set<MessageKey, MessageKeyHash>;

MessageKey keyOf(const KTWhatsAppNode& message) {
    return {message.chatID, message.messageContent, message.messageDate};
}

MessageKeys liveMessageKeys(const std::vector<KTWhatsAppNode>& messages) {
    MessageKeys keys;
    keys.reserve(messages.size());
    for (const KTWhatsAppNode& message : messages) {
        if (!message.bDeleted) {
            keys.insert(keyOf(message));
        }
    }
    return keys;
}

// Every live row is carved as well, and most rows of a chat database are
// live: the carver writes into a scratch store, and only the records kept
// have their texts (the three the carver fills) copied into the scan's,
// which the result holds for as long as it is open.
void keepTexts(ScanState& state, KTWhatsAppNode& message) {
    message.messageContent = state.keep(message.messageContent.view());
    message.messageName = state.intern(message.messageName.view());
    message.messageNumb = state.intern(message.messageNumb.view());
}

// Carved rows name their author as live ones do: the owner for what the
// owner sent, else the sender by the same lookups, the carved push name
// only where nobody else knows the number.
void nameAuthor(ScanState& state, ContactLookups& lookups, KTWhatsAppNode& message) {
    if (message.messageType == Direction::Send) {
        const auto& account = state.currentNodeInfo;
        message.messageNumb =
            account ? state.intern(whatsAppNumber(account->whatsAppNodeNumber)) : Text();
        message.messageName =
            account && !account->whatsAppNodeName.empty() ? account->whatsAppNodeName : Text("Me");
        return;
    }
    const std::optional<std::string_view> push =
        message.messageName.empty() || message.messageName == " "
            ? std::nullopt
            : std::optional<std::string_view>(message.messageName);
    message.messageName = state.intern(lookups.displayNameOf(message.messageNumb, push));
}

void attachPicture(const BackupFileIndex& index, ContactLookups& lookups, KTWhatsAppNode& message) {
    std::optional<Text> picture;
    if (auto image = lookups.getContactImagepathByWhatsAppID(message.messageNumb)) {
        picture = index.getFileKeyBytheFilepath(*image);
        if (!picture) {
            picture = index.getFileKeyBytheFilepath(*image + ".thumb");
        }
    }
    message.whatsAppcontactPath = picture;
}

void handOver(ScanState& state, const CarvedRecord& record) {
    using Delivery = CarvedRecord::Delivery;
    if (record.delivery != Delivery::Post) {
        state.wpChatArray.push_back(record.message);
    }
    if (record.delivery != Delivery::Append) {
        state.intake.take(record.message);
        state.reporter.recovered(record.message);
    }
}

// Carves the scan's private copy of the database; the source is never
// opened, let alone written.
Status carveIntoScan(ScanState& state, const std::string& database, CarverVariant variant) {
    const StatusOr<std::string> copy = state.databaseCopy(database);
    if (!copy.ok()) {
        return copy.status().is(StatusCode::notFound) ? Status::notFound(std::string(kNoDatabase))
                                                      : copy.status();
    }
    const std::unique_ptr<CarvingFile> file = CarvingFile::open(*copy);
    if (!file) {
        return Status::ioError("cannot open the copy of " + database);
    }
    if (readPageSize(file.get()) == 0) {
        return Status::corrupt(database + " is not a database that can be read page by page");
    }
    const MessageKeys live = liveMessageKeys(state.wpChatArray);
    ContactLookups lookups = lookupsOf(state);
    size_t liveRepeats = 0;
    TextStore scratch;
    DeletedMessageCarver carver(variant, scratch, state.stop);
    const bool finished = carver.carve(*file, [&](CarvedRecord record) {
        if (live.contains(keyOf(record.message))) {
            ++liveRepeats;
        } else {
            keepTexts(state, record.message);
            nameAuthor(state, lookups, record.message);
            attachPicture(state.index, lookups, record.message);
            handOver(state, record);
        }
        if (scratch.capacityBytes() > kScratchBytes) {
            scratch = TextStore();
        }
    });
    if (liveRepeats > 0) {
        SystemLog::write("Deleted-message recovery: " + std::to_string(liveRepeats) +
                         " carved records were live messages and were left out");
    }
    if (finished) {
        state.reporter.progress(80);
    }
    return Status();
}

}  // namespace

Status scanDeletedWhatsAppMessageThread(ScanState& state, const std::string& folder) {
    if (folder.empty()) {
        return Status();
    }
    const std::optional<std::string> database = findBackupChatDatabase(state, folder);
    if (!database) {
        return Status::notFound(std::string(kNoDatabase));
    }
    return carveIntoScan(state, *database, CarverVariant::Backup);
}

Status scanDeletediCloudWhatsAppMessageThread(ScanState& state, const std::string& folder) {
    return carveIntoScan(state, folder + "/ChatStorage.sqlite", CarverVariant::ICloud);
}

}  // namespace vessamo
