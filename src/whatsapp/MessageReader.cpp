#include "whatsapp/MessageReader.h"

#include <algorithm>
#include <array>
#include <functional>
#include <unordered_map>

#include "common/WhatsAppIds.h"
#include "whatsapp/ChatDatabaseLocator.h"
#include "whatsapp/ContactLookups.h"
#include "whatsapp/MessageRowSource.h"
#include "whatsapp/PicturePaths.h"
#include "whatsapp/SystemMessages.h"

namespace vessamo {

namespace {

// Backups name the starred messages; every source says who sent a
// message and what kind of group event a row is, where its table has the
// columns.
#define VESSAMO_MESSAGE_COLUMNS                                                                    \
    "select ZWAMESSAGE.ZCHATSESSION,ZMESSAGEDATE,ZPUSHNAME,ZMESSAGETYPE,ZFROMJID,ZTEXT,ZTOJID,"    \
    "ZGROUPMEMBER,ZWAMEDIAITEM.ZMEDIALOCALPATH,ZWAMEDIAITEM.ZVCARDNAME,ZWAMEDIAITEM.ZVCARDSTRING," \
    "ZWAMEDIAITEM.ZTHUMBNAILLOCALPATH,ZWAMEDIAITEM.ZXMPPTHUMBPATH,ZWAMEDIAITEM.ZLATITUDE,"         \
    "ZWAMEDIAITEM.ZLONGITUDE,"
#define VESSAMO_MESSAGE_JOIN \
    " from ZWAMESSAGE left join  ZWAMEDIAITEM on  ZWAMESSAGE.Z_PK= ZWAMEDIAITEM.ZMESSAGE"

constexpr const char* kColumns = VESSAMO_MESSAGE_COLUMNS;
constexpr const char* kJoin = VESSAMO_MESSAGE_JOIN;

#undef VESSAMO_MESSAGE_COLUMNS
#undef VESSAMO_MESSAGE_JOIN

// Older chat databases may lack a column; their statement reads NULL in
// its place rather than failing to prepare.
bool hasMessageColumn(SourceDatabase& db, std::string_view column) {
    SqliteStatement query;
    std::string sql = "select 1 from pragma_table_info('ZWAMESSAGE') where name='";
    sql.append(column).append("'");
    return db.prepare(query, sql) && db.step(query);
}

bool hasMediaItemColumn(SourceDatabase& db, std::string_view column) {
    SqliteStatement query;
    std::string sql = "select 1 from pragma_table_info('ZWAMEDIAITEM') where name='";
    sql.append(column).append("'");
    return db.prepare(query, sql) && db.step(query);
}

// What links a reply to the message it quotes: each message's stanza id and
// the media item's metadata, which names the quoted one. Databases before
// replies lack the columns and read NULL.
void appendReplyColumns(SourceDatabase& db, std::string& statement) {
    statement.append(hasMessageColumn(db, "ZSTANZAID") ? ",ZWAMESSAGE.ZSTANZAID" : ",NULL");
    statement.append(hasMediaItemColumn(db, "ZMETADATA") ? ",ZWAMEDIAITEM.ZMETADATA" : ",NULL");
}

std::string messageStatement(SourceDatabase& db, bool backup) {
    std::string statement = kColumns;
    const auto column = [&](std::string_view name, bool wanted) {
        if (wanted && hasMessageColumn(db, name)) {
            statement.append("ZWAMESSAGE.").append(name);
        } else {
            statement.append("NULL");
        }
    };
    column("ZSTARRED", backup);
    statement.append(",");
    column("ZISFROMME", true);
    statement.append(",");
    column("ZGROUPEVENTTYPE", true);
    appendReplyColumns(db, statement);
    return statement.append(kJoin);
}

// What sets the kinds of source apart when their messages are read.
struct MessageRules {
    bool backup = true;              // starred messages are read
    bool recordsAttachments = true;  // attachment records
    bool countsProgress = true;      // thresholds, running count, stop button
    bool biCloudNode = false;
    bool bTimelineNode = false;
    PictureResolver senderPicture;  // a contact's stored picture to its file
};

MessageRules rulesFor(ScanState& state, MessageSource source, const std::string& pictureFolder) {
    MessageRules rules;
    if (source == MessageSource::Timeline) {
        rules.senderPicture = [&state, pictureFolder](std::string_view stored) {
            return std::optional<Text>(state.intern(timelinePicture(pictureFolder, stored)));
        };
    } else {
        rules.senderPicture = [&index = state.index](std::string_view stored) {
            return indexedSenderPicture(index, stored);
        };
    }
    if (source != MessageSource::Backup) {
        rules.backup = false;
        rules.recordsAttachments = false;
        rules.countsProgress = false;
        rules.biCloudNode = source == MessageSource::ICloudDrive;
        rules.bTimelineNode = source == MessageSource::Timeline;
    }
    return rules;
}

// Who wrote a message: the number, the name it is shown under and the
// picture the number gives.
struct Author {
    Text number;
    Text name;
    std::optional<Text> picture;
};

struct StringHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

template <typename Value>
using TextMap = std::unordered_map<std::string, Value, StringHash, std::equal_to<>>;

// Everything the per-message rules look up, built once per table. What a
// JID gives is worked out once, so a chat's thousands of messages cost one
// walk of the lists and share one copy of each text.
class MessageContext {
public:
    MessageContext(ScanState& state, MessageRules rules)
        : state_(state), rules_(std::move(rules)), lookups_(lookupsOf(state)) {
        for (const KTWhatAppGroupMember& member : state.whatsAppGroupMemberArray) {
            members_.emplace(member.groupMemberID, member.groupMemberAppID);
        }
        for (const KTWhatsAppCovNode& chat : state.wpConvChatArray) {
            if (chat.currentChatNumber) {
                chatJids_.emplace(chat.chatID, *chat.currentChatNumber);
                if (!chat.isGroupCov && !chat.currentChatName.empty()) {
                    partnerNames_.emplace(*chat.currentChatNumber, chat.currentChatName);
                }
            }
        }
        // A push name stands for the first JID WhatsApp keeps it under.
        for (const KTWhatsAppFavContact& contact : state.whatsAppFavContactArray) {
            if (!contact.contactName.empty()) {
                pushNameJids_.emplace(std::string(contact.contactName), contact.whatsAppID);
            }
        }
        owner_ = makeOwner();
    }

    [[nodiscard]] const MessageRules& rules() const { return rules_; }
    [[nodiscard]] const Author& owner() const { return owner_; }
    // The author of a message someone else sent; the push name names an
    // author that neither address book nor WhatsApp contacts know.
    Author received(const MessageRow& row);

private:
    [[nodiscard]] std::optional<std::string_view> senderJid(const MessageRow& row,
                                                            std::optional<std::string_view> push);
    const Author& personOf(std::string_view jid);
    Author makeOwner();

    ScanState& state_;
    MessageRules rules_;
    ContactLookups lookups_;
    Author owner_;
    std::unordered_map<int32_t, std::string> members_;  // first member of each key
    std::unordered_map<int32_t, std::string_view> chatJids_;
    std::unordered_map<std::string_view, Text> partnerNames_;  // one-to-one chats' titles
    TextMap<std::string_view> pushNameJids_;
    TextMap<Author> people_;  // by JID; names without the push-name fallback
};

// The owner is named as the account record names them; without one, "Me".
Author MessageContext::makeOwner() {
    Author owner;
    owner.name = "Me";
    if (state_.currentNodeInfo) {
        const KTWhatsAppIDInfo& account = *state_.currentNodeInfo;
        owner.number = state_.intern(whatsAppNumber(account.whatsAppNodeNumber));
        if (!account.whatsAppNodeName.empty()) {
            owner.name = account.whatsAppNodeName;
        }
    }
    if (auto stored = lookups_.getContactImagepathByWhatsAppID(owner.number)) {
        owner.picture = rules_.senderPicture(*stored);
    }
    return owner;
}

// In a one-to-one chat the sender is the partner: ZFROMJID, or the chat's
// JID where the row has none. In a group it is the member the row points
// to, else whoever WhatsApp keeps the push name for.
std::optional<std::string_view> MessageContext::senderJid(const MessageRow& row,
                                                          std::optional<std::string_view> push) {
    std::optional<std::string_view> chat;
    if (row.chatSession) {
        if (auto found = chatJids_.find(*row.chatSession); found != chatJids_.end()) {
            chat = found->second;
        }
    }
    const bool group =
        row.groupMember || (row.fromJid && isGroupJid(*row.fromJid)) || (chat && isGroupJid(*chat));
    if (!group) {
        if (row.fromJid && isPersonJid(*row.fromJid)) {
            return row.fromJid;
        }
        return chat;
    }
    if (row.groupMember) {
        if (auto found = members_.find(*row.groupMember); found != members_.end()) {
            return std::string_view(found->second);
        }
    }
    if (push) {
        if (auto found = pushNameJids_.find(*push); found != pushNameJids_.end()) {
            return found->second;
        }
    }
    return std::nullopt;
}

// The address book's name, else WhatsApp's own (its contacts, then the
// title of the one-to-one chat). A private identifier is no phone number:
// it is looked up only among WhatsApp's names and never shown as a number.
const Author& MessageContext::personOf(std::string_view jid) {
    if (auto found = people_.find(jid); found != people_.end()) {
        return found->second;
    }
    Author author;
    const bool lid = isLidJid(jid);
    const std::string number = lid ? std::string(jid) : whatsAppNumber(jid);
    if (!lid) {
        author.number = state_.intern(number);
    }
    if (auto name = lid ? std::nullopt : lookups_.getNameByPhoneNumber(number)) {
        author.name = state_.intern(*name);
    } else if (auto own = lookups_.whatsAppNameOf(number)) {
        author.name = *own;
    } else if (auto partner = partnerNames_.find(jid); partner != partnerNames_.end()) {
        author.name = partner->second;
    }
    if (auto stored = lookups_.getContactImagepathByWhatsAppID(number)) {
        author.picture = rules_.senderPicture(*stored);
    }
    return people_.emplace(std::string(jid), author).first->second;
}

Author MessageContext::received(const MessageRow& row) {
    std::optional<std::string_view> push = row.pushName;
    if (push && looksLikeEncodedBlob(*push)) {
        push.reset();
    }
    Author author;
    if (auto jid = senderJid(row, push)) {
        author = personOf(*jid);
    }
    if (author.name.empty()) {
        if (push) {
            author.name = state_.intern(*push);
        } else {
            author.name = author.number;
        }
    }
    return author;
}

Direction directionOf(const MessageRow& row) {
    if (row.isFromMe) {
        return *row.isFromMe == 1 ? Direction::Send : Direction::Receive;
    }
    // Without the column, a push name marks what others sent.
    return row.pushName ? Direction::Receive : Direction::Send;
}

Text kept(ScanState& state, const std::optional<std::string_view>& bytes) {
    return bytes ? state.keep(*bytes) : Text();
}

// "latitude longitude"; a missing latitude prints as "(null)", as formatting
// a nil object does. The null island is no place.
Text locationOf(ScanState& state, const MessageRow& row) {
    if (!row.longitude) {
        return Text();
    }
    std::string location(row.latitude.value_or("(null)"));
    location += ' ';
    location += *row.longitude;
    return location == "0.0 0.0" ? Text() : state.keep(std::string_view(location));
}

void fillMessage(ScanState& state, MessageContext& context, const MessageRow& row,
                 KTWhatsAppNode& message) {
    const MessageRules& rules = context.rules();
    message.chatID = row.chatSession.value_or(message.chatID);
    if (row.seconds) {
        message.messageDate = AppleTime{*row.seconds};
    }
    message.messageType = directionOf(row);
    message.attchType = row.messageType.value_or(message.attchType);
    message.messageContent = kept(state, row.text);
    message.messageAttchpath = kept(state, row.mediaLocalPath);
    message.vcardName = kept(state, row.vcardName);
    message.vcardInfo = kept(state, row.vcardString);
    message.messageThumPath = kept(state, row.thumbnailLocalPath);
    message.messagePPThumpath = kept(state, row.xmppThumbPath);
    message.bStarredMessage = row.starred == 1;
    message.isHaveAttch = row.mediaLocalPath || row.thumbnailLocalPath || row.xmppThumbPath;
    message.locationInfo = locationOf(state, row);
    message.stanzaId = kept(state, row.stanzaId);
    message.quotedStanzaId = kept(state, row.quotedStanzaId);

    if (row.messageType && isSystemMessageType(*row.messageType)) {
        // Nobody wrote it: no author, no bubble.
        message.messageKind = MessageKind::System;
        message.systemText =
            Text::borrowed(*systemDescription(*row.messageType, row.groupEventType));
    } else {
        const Author author =
            message.messageType == Direction::Send ? context.owner() : context.received(row);
        message.messageNumb = author.number;
        message.messageName = author.name;
        message.whatsAppcontactPath = author.picture;
    }
    message.biCloudNode = rules.biCloudNode;
    message.bTimelineNode = rules.bTimelineNode;
}

void recordAttachment(ScanState& state, const KTWhatsAppNode& message) {
    if (message.messageAttchpath.empty()) {
        return;
    }
    KTPhotoAndVideoNode& file = state.wpAttachArray.emplace_back();
    file.filePath = message.messageAttchpath;
    file.fileDate = message.messageDate;
}

void reportProgress(ScanState& state, int64_t count) {
    if (int percent = progressForMessageCount(count); percent > 0) {
        state.reporter.progress(percent);
    }
    if (count > 15000 && count != 22000) {
        state.reporter.messagesRead(static_cast<int>(count));
    }
}

// Room for every row, so the list is never copied while it grows; the
// join gives a row per media item, which real databases keep to one.
void reserveForTable(ScanState& state, SourceDatabase& db) {
    SqliteStatement count;
    if (db.prepare(count, "select count(*) from ZWAMESSAGE") && db.step(count)) {
        const auto rows = static_cast<size_t>(std::max<int64_t>(count.columnInt64(0), 0));
        state.wpChatArray.reserve(state.wpChatArray.size() + rows);
    }
}

// The message statement names only columns every app version has (or
// stands NULL in for them), so a chat database it cannot be prepared on
// lacks its message table or a column of it: damage, not an empty chat.
Status unreadableTable(const SourceDatabase& db) {
    if (!db.status().ok() || !db.db().isOpen()) {
        return db.status();
    }
    return Status::corrupt(db.source() + " is damaged: " + db.db().lastError());
}

}  // namespace

Status readMessageTable(ScanState& state, SourceDatabase& db, MessageSource source,
                        const std::string& pictureFolder) {
    reserveForTable(state, db);
    MessageContext context(state, rulesFor(state, source, pictureFolder));
    const MessageRules& rules = context.rules();
    MessageRowSource rows;
    const std::string statement = messageStatement(db, rules.backup);
    const int started = rows.start(db.db(), statement.c_str());
    db.note(started);
    if (started != SQLITE_OK) {
        return unreadableTable(db);
    }
    int64_t count = 0;
    for (MessageBatch batch = rows.nextBatch(); !batch.rows.empty(); batch = rows.nextBatch()) {
        for (const MessageRow& row : batch.rows) {
            KTWhatsAppNode& message = state.wpChatArray.emplace_back();
            fillMessage(state, context, row, message);
            if (rules.recordsAttachments) {
                recordAttachment(state, message);
            }
            if (rules.countsProgress) {
                if (countsAsMessage(message)) {
                    reportProgress(state, ++count);
                }
                if (state.stopRequested()) {
                    return Status::cancelled("the message reading was stopped");
                }
            }
        }
    }
    db.noteEnd(rows.endCode());
    return db.status();
}

int progressForMessageCount(int64_t count) {
    constexpr std::array<std::pair<int64_t, int>, 6> steps = {
        {{551, 79}, {1551, 80}, {3000, 81}, {5500, 82}, {9500, 83}, {15000, 84}}};
    for (const auto& [at, percent] : steps) {
        if (count == at) {
            return percent;
        }
    }
    if (count > 22000 && (count - 22000) % 20000 == 0) {
        return static_cast<int>(std::min<int64_t>(84 + (count - 22000) / 20000, 94));
    }
    return 0;
}

Status scanWhatsAppMessageThread(ScanState& state, const std::string& folder) {
    auto chat = findChatDatabase(state, folder);
    if (!chat) {
        return Status::notFound("WhatsAppMessageDB is not exist");
    }
    state.currentScanPath = chat->path;
    SourceDatabase db(state, chat->path);
    const Status read = readMessageTable(state, db, MessageSource::Backup, folder);
    if (read.is(StatusCode::cancelled)) {
        return Status();  // stopped: no final progress, and the result says it stopped
    }
    state.reporter.progress(95);
    return read;
}

}  // namespace vessamo
