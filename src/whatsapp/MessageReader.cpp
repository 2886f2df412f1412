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

namespace vessamo {

namespace {

// Backups name the starred messages and who sent a message; the other
// sources' statement stops after the location.
#define VESSAMO_MESSAGE_COLUMNS                                                                    \
    "select ZWAMESSAGE.ZCHATSESSION,ZMESSAGEDATE,ZPUSHNAME,ZMESSAGETYPE,ZFROMJID,ZTEXT,ZTOJID,"    \
    "ZGROUPMEMBER,ZWAMEDIAITEM.ZMEDIALOCALPATH,ZWAMEDIAITEM.ZVCARDNAME,ZWAMEDIAITEM.ZVCARDSTRING," \
    "ZWAMEDIAITEM.ZTHUMBNAILLOCALPATH,ZWAMEDIAITEM.ZXMPPTHUMBPATH,ZWAMEDIAITEM.ZLATITUDE,"         \
    "ZWAMEDIAITEM.ZLONGITUDE"
#define VESSAMO_MESSAGE_JOIN \
    " from ZWAMESSAGE left join  ZWAMEDIAITEM on  ZWAMESSAGE.Z_PK= ZWAMEDIAITEM.ZMESSAGE"

constexpr const char* kBackupStatement =
    VESSAMO_MESSAGE_COLUMNS ",ZWAMESSAGE.ZSTARRED,ZWAMESSAGE.ZISFROMME" VESSAMO_MESSAGE_JOIN;
constexpr const char* kPushNameStatement = VESSAMO_MESSAGE_COLUMNS VESSAMO_MESSAGE_JOIN;

#undef VESSAMO_MESSAGE_COLUMNS
#undef VESSAMO_MESSAGE_JOIN

// What sets the kinds of source apart when their messages are read.
struct MessageRules {
    const char* statement = kBackupStatement;
    bool namesFromAddressBook = true;  // else the push name stays the name
    bool recordsAttachments = true;    // attachment records
    bool countsProgress = true;        // thresholds, running count, stop button
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
        rules.statement = kPushNameStatement;
        rules.namesFromAddressBook = false;
        rules.recordsAttachments = false;
        rules.countsProgress = false;
        rules.biCloudNode = source == MessageSource::ICloudDrive;
        rules.bTimelineNode = source == MessageSource::Timeline;
    }
    return rules;
}

// What a message's address stands for: the number, and the name and
// picture the number gives.
struct Sender {
    Text number;
    Text name;
    std::optional<Text> picture;
};

struct StringHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// Everything the per-message rules look up, built once per table. What an
// address gives is worked out once, so a chat's thousands of messages cost
// one walk of the lists and share one copy of each text.
class MessageContext {
public:
    MessageContext(ScanState& state, MessageRules rules)
        : state_(state),
          rules_(std::move(rules)),
          lookups_(state.contactArray, state.whatsAppFavContactArray) {
        for (const KTWhatAppGroupMember& member : state.whatsAppGroupMemberArray) {
            members_.emplace(member.groupMemberID, member.groupMemberAppID);
        }
    }

    [[nodiscard]] const MessageRules& rules() const { return rules_; }
    [[nodiscard]] const std::string* memberJid(int32_t memberID) const {
        auto found = members_.find(memberID);
        return found != members_.end() ? &found->second : nullptr;
    }
    const Sender& senderOf(std::string_view address, bool sentByOwner);

private:
    ScanState& state_;
    MessageRules rules_;
    ContactLookups lookups_;
    std::unordered_map<int32_t, std::string> members_;  // first member of each key
    // By address, apart for the two directions: a group's address numbers
    // its creator for sent messages and its sender for received ones.
    std::array<std::unordered_map<std::string, Sender, StringHash, std::equal_to<>>, 2> senders_;
};

const Sender& MessageContext::senderOf(std::string_view address, bool sentByOwner) {
    auto& known = senders_[sentByOwner ? 1 : 0];
    if (auto found = known.find(address); found != known.end()) {
        return found->second;
    }
    const std::string number = numberOfAddress(address, sentByOwner);
    Sender sender;
    sender.number = state_.intern(number);
    if (rules_.namesFromAddressBook) {
        sender.name = state_.intern(lookups_.getNameByPhoneNumber(number).value_or(""));
    }
    if (auto stored = lookups_.getContactImagepathByWhatsAppID(number)) {
        sender.picture = rules_.senderPicture(*stored);
    }
    return known.emplace(std::string(address), sender).first->second;
}

Direction directionOf(const MessageRow& row) {
    if (row.isFromMe) {
        return *row.isFromMe == 1 ? Direction::Send : Direction::Receive;
    }
    // Without the column, a push name marks what others sent.
    return row.pushName ? Direction::Receive : Direction::Send;
}

// A group message names its member; otherwise the push name decides which
// JID column is the other party, whoever really sent it.
std::string_view addressOf(const MessageRow& row, const MessageContext& context) {
    if (row.groupMember) {
        if (const std::string* jid = context.memberJid(*row.groupMember)) {
            return *jid;
        }
    }
    return (row.pushName ? row.fromJid : row.toJid).value_or(std::string_view());
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

    const Sender& sender =
        context.senderOf(addressOf(row, context), message.messageType == Direction::Send);
    message.messageNumb = sender.number;
    if (rules.namesFromAddressBook) {
        message.messageName = sender.name;
    } else if (row.pushName) {
        message.messageName = state.intern(*row.pushName);
    }
    message.whatsAppcontactPath = sender.picture;
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

}  // namespace

Status readMessageTable(ScanState& state, SourceDatabase& db, MessageSource source,
                        const std::string& pictureFolder) {
    reserveForTable(state, db);
    MessageContext context(state, rulesFor(state, source, pictureFolder));
    const MessageRules& rules = context.rules();
    MessageRowSource rows;
    const int started = rows.start(db.db(), rules.statement);
    db.note(started);
    if (started != SQLITE_OK) {
        return db.status();
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
                reportProgress(state, ++count);
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
