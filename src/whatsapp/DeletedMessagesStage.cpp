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
#include "carving/ChatDatabaseFacts.h"
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

// Old copies of live rows (a row rewritten in place leaves its former
// record behind) are left out by what they show: chat, moment and text,
// a blank text the same as none.
struct MessageKey {
    int32_t chat;
    std::string_view text;
    std::optional<AppleTime> date;
    Direction direction;

    bool operator==(const MessageKey&) const = default;
};

struct MessageKeyHash {
    size_t operator()(const MessageKey& key) const {
        size_t hash = std::hash<std::string_view>{}(key.text);
        hash = hash * 31 + std::hash<int32_t>{}(key.chat);
        hash = hash * 31 + static_cast<size_t>(key.direction);
        return hash * 31 + (key.date ? std::hash<int64_t>{}(key.date->seconds) : 0);
    }
};

using MessageKeys = std::unordered_set<MessageKey, MessageKeyHash>;

std::string_view shownText(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos ? std::string_view() : text;
}

MessageKey keyOf(const KTWhatsAppNode& message, bool withDirection) {
    return {message.chatID, shownText(message.messageContent), message.messageDate,
            withDirection ? message.messageType : Direction::Unknown};
}

MessageKeys liveMessageKeys(const std::vector<KTWhatsAppNode>& messages) {
    MessageKeys keys;
    keys.reserve(messages.size());
    for (const KTWhatsAppNode& message : messages) {
        if (!message.bDeleted) {
            keys.insert(keyOf(message, false));
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

// A group's row names the group in its sender column; the author is the
// group member the row points to.
void findGroupAuthor(ScanState& state, const ChatDatabaseFacts& facts, const CarvedRecord& record,
                     KTWhatsAppNode& message) {
    if (message.messageType != Direction::Receive || record.groupMember < 1) {
        return;
    }
    const auto member = facts.members.find(record.groupMember);
    if (member == facts.members.end() || !isPersonJid(member->second.jid)) {
        return;
    }
    message.messageNumb = state.intern(numberOfAddress(member->second.jid, false));
    if (message.messageName.empty() && !member->second.name.empty()) {
        message.messageName = state.intern(member->second.name);
    }
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

// What the messages of a deleted chat tell about it: the other party is
// the sender of what was received and the recipient of what was sent.
DeletedMessageIntake::DeletedChat deletedChatOf(ScanState& state, ContactLookups& lookups,
                                                const CarvedRecord& record) {
    const std::string_view address =
        record.message.messageType == Direction::Send || record.fromJid.empty()
            ? record.toJid.view()
            : record.fromJid.view();
    DeletedMessageIntake::DeletedChat chat;
    chat.group = isGroupJid(address);
    chat.number = state.intern(address);  // a chat is known by its full address, as live ones
    if (!chat.group && !address.empty()) {
        chat.partnerName = state.intern(lookups.displayNameOf(numberOfAddress(address, false)));
    }
    return chat;
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

// A record of a chat that still exists goes where its table's records
// always went; one of a deleted chat into a conversation of its own, since
// no chat would show it.
void handOver(ScanState& state, ContactLookups& lookups, const CarvedRecord& record) {
    using Delivery = CarvedRecord::Delivery;
    if (record.deletedChat) {
        state.intake.take(record.message, deletedChatOf(state, lookups, record), state.texts);
        state.reporter.recovered(record.message);
        return;
    }
    if (record.delivery != Delivery::Post) {
        state.wpChatArray.push_back(record.message);
    }
    if (record.delivery != Delivery::Append) {
        state.intake.take(record.message);
        state.reporter.recovered(record.message);
    }
}

void logOutcome(const DeletedMessageCarver& carver, size_t liveRepeats, size_t duplicates) {
    std::string line = "Deleted-message recovery left out ";
    line.append(std::to_string(liveRepeats)).append(" copies of live messages, ");
    line.append(std::to_string(duplicates)).append(" repeats");
    for (size_t why = 1; why < kRejectionKinds; ++why) {
        if (carver.rejections()[why] > 0) {
            line.append(", ").append(std::to_string(carver.rejections()[why])).append(" ");
            line.append(rejectionName(static_cast<Rejection>(why)));
        }
    }
    SystemLog::write(line);
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
    const ChatDatabaseFacts facts = ChatDatabaseFacts::of(*copy);
    const MessageKeys live = liveMessageKeys(state.wpChatArray);
    MessageKeys delivered;
    ContactLookups lookups = lookupsOf(state);
    size_t liveRepeats = 0;
    size_t duplicates = 0;
    TextStore scratch;
    DeletedMessageCarver carver(variant, scratch, state.stop, facts.context);
    const bool finished = carver.carve(*file, [&](CarvedRecord record) {
        if (live.contains(keyOf(record.message, false)) ||
            (!record.stanzaId.empty() && facts.liveStanzas.contains(record.stanzaId))) {
            ++liveRepeats;
        } else {
            keepTexts(state, record.message);
            if (!delivered.insert(keyOf(record.message, true)).second) {
                ++duplicates;
                return;
            }
            findGroupAuthor(state, facts, record, record.message);
            nameAuthor(state, lookups, record.message);
            attachPicture(state.index, lookups, record.message);
            record.fromJid = state.intern(record.fromJid.view());
            record.toJid = state.intern(record.toJid.view());
            handOver(state, lookups, record);
        }
        if (scratch.capacityBytes() > kScratchBytes) {
            scratch = TextStore();
        }
    });
    logOutcome(carver, liveRepeats, duplicates);
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
