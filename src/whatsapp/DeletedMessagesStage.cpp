#include "whatsapp/DeletedMessagesStage.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "backup/BackupFileLocator.h"
#include "carving/CarvingFile.h"
#include "carving/CarvingPrimitives.h"
#include "carving/ChatDatabaseFacts.h"
#include "carving/DeletedMessageCarver.h"
#include "carving/FlatKeySet.h"
#include "carving/SchemaCarver.h"
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

using MessageKeys = FlatKeySet<MessageKey, MessageKeyHash>;

// The texts of messages by chat, moment and direction, to tell whether a
// text cut short is the start of one of them. Only the moments of cut texts
// are watched: most recoveries have none, and keeping every text cost a
// tenth of the stage.
class TextsByMoment {
public:
    void watch(const MessageKey& key) { watched_.insert(momentOf(key)); }
    void add(const MessageKey& key) {
        if (watched_.contains(momentOf(key))) {
            texts_.emplace(momentOf(key), key.text);
        }
    }
    [[nodiscard]] bool holdsStartOf(const MessageKey& key) const {
        const auto [first, last] = texts_.equal_range(momentOf(key));
        return std::any_of(first, last,
                           [&](const auto& entry) { return entry.second.starts_with(key.text); });
    }

private:
    static MessageKey momentOf(const MessageKey& key) {
        return {key.chat, {}, key.date, key.direction};
    }

    std::unordered_set<MessageKey, MessageKeyHash> watched_;
    std::unordered_multimap<MessageKey, std::string_view, MessageKeyHash> texts_;
};

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
    message.stanzaId = state.intern(message.stanzaId.view());
}

// A group's row names the group in its sender column; the author is the
// group member the row points to.
void findGroupAuthor(ScanState& state, const ChatDatabaseFacts& facts, const CarvedRecord& record,
                     KTWhatsAppNode& message) {
    if (message.messageType != Direction::Receive || record.groupMember < 1) {
        return;
    }
    const ChatDatabaseFacts::Member* member = facts.memberOf(record.groupMember, message.chatID);
    if (member == nullptr || !isPersonJid(member->jid)) {
        return;
    }
    message.messageNumb = state.intern(numberOfAddress(member->jid, false));
    if (message.messageName.empty() && !member->name.empty()) {
        message.messageName = state.intern(member->name);
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
                                                const ChatDatabaseFacts& facts,
                                                const CarvedRecord& record) {
    const std::string_view address =
        record.message.messageType == Direction::Send || record.fromJid.empty()
            ? record.toJid.view()
            : record.fromJid.view();
    DeletedMessageIntake::DeletedChat chat;
    chat.group = isGroupJid(address);
    chat.number = state.intern(address);  // a chat is known by its full address, as live ones
    // The deleted session row's own name: a group's subject, or the name
    // the app showed for the partner, which the contacts may know better.
    const auto stored = facts.deletedChatNames.find(std::string(address));
    const std::optional<std::string_view> name =
        stored == facts.deletedChatNames.end() ? std::nullopt
                                               : std::optional<std::string_view>(stored->second);
    if (chat.group) {
        chat.partnerName = name ? state.intern(*name) : Text();
    } else if (!address.empty()) {
        chat.partnerName =
            state.intern(lookups.displayNameOf(numberOfAddress(address, false), name));
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
void handOver(ScanState& state, ContactLookups& lookups, const ChatDatabaseFacts& facts,
              const CarvedRecord& record) {
    using Delivery = CarvedRecord::Delivery;
    state.intake.noteOrigin(record.message, placeName(RecordPlace{record.origin, record.walFrame}) +
                                                (record.textCut ? ", text cut" : ""));
    if (record.deletedChat) {
        state.intake.take(record.message, deletedChatOf(state, lookups, facts, record),
                          state.texts);
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

using Rejections = std::array<size_t, kRejectionKinds>;

// Takes the carved records of one database: leaves out copies of live rows
// and repeats, names authors and chats, and hands the rest to the scan.
class CarvedRecordIntake {
public:
    CarvedRecordIntake(ScanState& state, const ChatDatabaseFacts& facts)
        : state_(state),
          facts_(facts),
          live_(liveMessageKeys(state.wpChatArray)),
          lookups_(lookupsOf(state)) {}

    // Copies of one message (stale images in the log, a freed cell and a
    // page of the free list) are told apart by its stanza id: the whole
    // copy is kept rather than one whose text ran off its region.
    void take(CarvedRecord record) {
        if (live_.contains(keyOf(record.message, false)) ||
            (!record.stanzaId.empty() && facts_.liveMessages.hasStanza(record.stanzaId))) {
            ++liveRepeats_;
            return;
        }
        keepTexts(state_, record.message);
        record.stanzaId = record.message.stanzaId;
        record.fromJid = state_.intern(record.fromJid.view());
        record.toJid = state_.intern(record.toJid.view());
        if (record.stanzaId.empty()) {
            pending_.push_back(std::move(record));
            return;
        }
        const auto [at, added] = byStanza_.emplace(record.stanzaId.view(), pending_.size());
        if (added) {
            pending_.push_back(std::move(record));
            return;
        }
        ++duplicates_;
        CarvedRecord& kept = pending_[at->second];
        if (kept.textCut && (!record.textCut || record.message.messageContent.size() >
                                                    kept.message.messageContent.size())) {
            kept = std::move(record);
        }
    }

    // Whether a received group message names a member no live row has.
    [[nodiscard]] bool needsDeletedMembers() const {
        return std::any_of(pending_.begin(), pending_.end(), [&](const CarvedRecord& record) {
            return record.message.messageType == Direction::Receive && record.groupMember >= 1 &&
                   !facts_.members.contains(record.groupMember);
        });
    }

    [[nodiscard]] bool hasDeletedChats() const {
        return std::any_of(pending_.begin(), pending_.end(),
                           [](const CarvedRecord& record) { return record.deletedChat; });
    }

    // Names authors and chats of the records kept and hands them over, in
    // the order they were first found. A copy whose text was cut comes
    // last, and only when its row did not come back whole or longer from
    // elsewhere (a copy without a stanza id is known by its chat, moment
    // and direction); of two cut copies the longer one wins.
    void finish() {
        std::vector<size_t> cut;
        for (size_t at = 0; at < pending_.size(); ++at) {
            if (pending_[at].textCut) {
                cut.push_back(at);
                whole_.watch(keyOf(pending_[at].message, true));
            }
        }
        std::stable_sort(cut.begin(), cut.end(), [&](size_t a, size_t b) {
            return pending_[a].message.messageContent.size() >
                   pending_[b].message.messageContent.size();
        });
        for (CarvedRecord& record : pending_) {
            if (!record.textCut) {
                deliver(record);
            }
        }
        for (const size_t at : cut) {
            if (whole_.holdsStartOf(keyOf(pending_[at].message, true))) {
                ++duplicates_;
                continue;
            }
            deliver(pending_[at]);
        }
        pending_.clear();
        byStanza_.clear();
    }

    void countLiveRow() { ++liveRepeats_; }

    void log(const Rejections& rejections) const {
        std::string line = "Deleted-message recovery left out ";
        line.append(std::to_string(liveRepeats_)).append(" copies of live messages, ");
        line.append(std::to_string(duplicates_)).append(" repeats");
        for (size_t why = 1; why < kRejectionKinds; ++why) {
            if (rejections[why] > 0) {
                line.append(", ").append(std::to_string(rejections[why])).append(" ");
                line.append(rejectionName(static_cast<Rejection>(why)));
            }
        }
        SystemLog::write(line);
    }

private:
    void deliver(CarvedRecord& record) {
        const MessageKey key = keyOf(record.message, true);
        if (!delivered_.insert(key).second) {
            ++duplicates_;
            return;
        }
        whole_.add(key);
        findGroupAuthor(state_, facts_, record, record.message);
        nameAuthor(state_, lookups_, record.message);
        attachPicture(state_.index, lookups_, record.message);
        handOver(state_, lookups_, facts_, record);
    }

    ScanState& state_;
    const ChatDatabaseFacts& facts_;
    MessageKeys live_;
    MessageKeys delivered_;
    TextsByMoment whole_;  // what was delivered, cut texts included
    std::vector<CarvedRecord> pending_;
    std::unordered_map<std::string_view, size_t> byStanza_;  // into pending_
    ContactLookups lookups_;
    size_t liveRepeats_ = 0;
    size_t duplicates_ = 0;
};

// Records of the tables recovery has always known go where they always
// went; the others are added to their chats.
CarvedRecord::Delivery deliveryFor(size_t columns, CarverVariant variant) {
    using Delivery = CarvedRecord::Delivery;
    if (variant == CarverVariant::ICloud) {
        return columns == 18 ? Delivery::PostAndAppend : Delivery::Append;
    }
    return columns == 18 || columns == 20 ? Delivery::Post : Delivery::Append;
}

// The message table as the database's schema lays it out, when it can be
// read and has the columns recovery needs.
struct SchemaTable {
    TableSchema table;
    MessageColumns columns;
};
std::optional<SchemaTable> messageTableOf(const std::string& copy) {
    for (TableSchema& table : readTableSchemas(copy)) {
        if (table.name != "ZWAMESSAGE" || !table.rowidAlias) {
            continue;
        }
        if (const auto columns = messageColumnsNamed(table.columns)) {
            return SchemaTable{std::move(table), *columns};
        }
    }
    return std::nullopt;
}

// A record whose cell header survived names its row: a live key is a copy
// of that row, unless the stanza ids differ, which means the bytes in front
// of the record were no cell header after all (a freed cell's first bytes
// hold the freeblock link).
bool isLiveRow(const FoundRecord& found, const MessageColumns& columns,
               const ChatDatabaseFacts& facts) {
    const auto live = found.rowid ? facts.liveMessages.stanzaOf(*found.rowid) : std::nullopt;
    if (!live) {
        return false;
    }
    const std::string_view stanza =
        columns.stanza >= 0 ? found.record.text(found.bytes, static_cast<size_t>(columns.stanza))
                            : std::string_view();
    return stanza.empty() || live->empty() || stanza == *live;
}

// Reads the message table's records out of every kind of free room of the
// copy and of the source's write-ahead log (read, never written).
size_t usableBytes(const CarvingFile& file) {
    uint8_t reserved = 0;
    file.readAt(20, &reserved, 1);
    const uint32_t pageSize = readPageSize(&file);
    return pageSize > reserved ? pageSize - reserved : pageSize;
}

// The source's log and its own images of the pages the log replaced; either
// may be missing.
struct SourceFiles {
    const CarvingFile* wal = nullptr;
    const CarvingFile* original = nullptr;
    size_t usable = 0;  // page size less the bytes each page reserves
};

bool carveBySchema(ScanState& state, const SchemaTable& schema, const CarvingFile& file,
                   SourceFiles source, CarverVariant variant, const ChatDatabaseFacts& facts,
                   CarvedRecordIntake& intake, Rejections& rejections) {
    TextStore scratch;
    // Only backups are stopped mid-carve; the iCloud stage always ran to the end.
    SchemaCarver carver(schema.table,
                        variant == CarverVariant::Backup ? state.stop : std::stop_token());
    carver.acceptOnly(messageStorageClasses(schema.columns));
    const SchemaCarver::Check take = [&](const FoundRecord& found) {
        if (isLiveRow(found, schema.columns, facts)) {
            intake.countLiveRow();
            return true;
        }
        bool deletedChat = false;
        const Rejection why =
            checkMessage(found.bytes, found.record, schema.columns, facts.context, deletedChat);
        if (why != Rejection::None) {
            ++rejections[static_cast<size_t>(why)];
            return false;
        }
        if (isWholeImage(found.place.origin) && found.bytes.size() == source.usable &&
            overwrittenInImage(found.bytes, source.usable, found.record)) {
            ++rejections[static_cast<size_t>(Rejection::Overwritten)];
            return false;
        }
        CarvedRecord record = carvedMessageOf(scratch, found.bytes, found.record, schema.columns);
        record.delivery = deliveryFor(schema.columns.count, variant);
        record.origin = found.place.origin;
        record.walFrame = found.place.walFrame;
        record.textCut = found.record.cut;
        record.deletedChat = deletedChat;
        intake.take(std::move(record));
        if (scratch.capacityBytes() > kScratchBytes) {
            scratch = TextStore();
        }
        return true;
    };
    if (!carver.carve(file, source.wal, take)) {
        return false;
    }
    return source.wal == nullptr || source.original == nullptr ||
           carver.carveReplaced(*source.original, *source.wal, take);
}

// The pattern carver, for a message table whose schema cannot be read.
bool carveByPatterns(ScanState& state, const CarvingFile& file, CarverVariant variant,
                     const ChatDatabaseFacts& facts, CarvedRecordIntake& intake,
                     Rejections& rejections) {
    TextStore scratch;
    DeletedMessageCarver carver(variant, scratch, state.stop, facts.context);
    const bool finished = carver.carve(file, [&](CarvedRecord record) {
        intake.take(std::move(record));
        if (scratch.capacityBytes() > kScratchBytes) {
            scratch = TextStore();
        }
    });
    rejections = carver.rejections();
    return finished;
}

// Carves the scan's private copy of the database; the source is never
// opened for writing.
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
    // The source's log is read, never written; the copy has it folded in.
    const auto walPath = BackupFileLocator::writeAheadLogOf(database, state.index);
    const std::unique_ptr<CarvingFile> wal = walPath ? CarvingFile::open(*walPath) : nullptr;
    const std::unique_ptr<CarvingFile> original = wal ? CarvingFile::open(database) : nullptr;
    ChatDatabaseFacts facts = ChatDatabaseFacts::of(*copy);
    CarvedRecordIntake intake(state, facts);
    Rejections rejections{};
    const std::optional<SchemaTable> schema = messageTableOf(*copy);
    const bool finished =
        schema
            ? carveBySchema(state, *schema, *file, {wal.get(), original.get(), usableBytes(*file)},
                            variant, facts, intake, rejections)
            : carveByPatterns(state, *file, variant, facts, intake, rejections);
    // Deleted members and chat names are looked for only when a message
    // needs them: each takes another pass over part of the file.
    if (intake.needsDeletedMembers()) {
        facts.recoverMembers(*copy, *file, wal.get(), original.get());
    }
    if (intake.hasDeletedChats()) {
        facts.recoverChatNames(*copy, *file, wal.get(), original.get());
    }
    intake.finish();
    intake.log(rejections);
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
