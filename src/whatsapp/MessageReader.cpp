#include "whatsapp/MessageReader.h"

#include <algorithm>
#include <array>
#include <unordered_map>

#include "common/NotificationCenter.h"
#include "common/SqliteDatabase.h"
#include "common/SystemLog.h"
#include "common/TextConversion.h"
#include "common/WhatsAppIds.h"
#include "whatsapp/ChatDatabaseLocator.h"
#include "whatsapp/ColumnValues.h"
#include "whatsapp/ContactLookups.h"
#include "whatsapp/MessageDateText.h"
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
    bool recordsAttachments = true;    // media records and the file-date table
    bool countsProgress = true;        // thresholds, running count, stop button
    bool biCloudNode = false;
    bool bTimelineNode = false;
    PictureResolver senderPicture;  // a contact's stored picture to its file
};

MessageRules rulesFor(const ScanState& state, MessageSource source,
                      const std::string& pictureFolder) {
    MessageRules rules;
    if (source == MessageSource::Timeline) {
        rules.senderPicture = [pictureFolder](const std::string& stored) {
            return std::optional<std::string>(timelinePicture(pictureFolder, stored));
        };
    } else {
        rules.senderPicture = [&index = state.index](const std::string& stored) {
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

// Everything the per-message rules look up, built once per scan. What a
// number gives (name, sender picture) is remembered per number, so a chat's
// thousands of messages cost one walk of the lists.
class MessageContext {
public:
    MessageContext(ScanState& state, MessageRules rules)
        : rules_(std::move(rules)), lookups_(state.contactArray, state.whatsAppFavContactArray) {
        for (const KTWhatAppGroupMemberPtr& member : state.whatsAppGroupMemberArray) {
            members_.emplace(member->groupMemberID, member->groupMemberAppID);
        }
    }

    const std::string* memberJid(int32_t memberID) const {
        auto found = members_.find(memberID);
        return found != members_.end() ? &found->second : nullptr;
    }
    [[nodiscard]] bool hasMembers() const { return !members_.empty(); }
    std::string dateText(int64_t seconds) { return dates_.textOf(seconds); }
    [[nodiscard]] const MessageRules& rules() const { return rules_; }

    struct NumberFacts {
        std::string name;
        std::optional<std::string> picture;
    };
    const NumberFacts& factsOf(const std::string& number);

private:
    std::optional<std::string> senderPicture(const std::string& number);

    MessageRules rules_;
    ContactLookups lookups_;
    std::unordered_map<int32_t, std::string> members_;  // first member of each key
    std::unordered_map<std::string, NumberFacts> facts_;
    MessageDateText dates_;
};

const MessageContext::NumberFacts& MessageContext::factsOf(const std::string& number) {
    auto known = facts_.find(number);
    if (known != facts_.end()) {
        return known->second;
    }
    NumberFacts facts;
    if (rules_.namesFromAddressBook) {
        facts.name = lookups_.getNameByPhoneNumber(number).value_or("");
    }
    facts.picture = senderPicture(number);
    return facts_.emplace(number, std::move(facts)).first->second;
}

std::optional<std::string> MessageContext::senderPicture(const std::string& number) {
    auto stored = lookups_.getContactImagepathByWhatsAppID(number);
    if (!stored) {
        return std::nullopt;
    }
    return rules_.senderPicture(*stored);
}

void setIf(std::string& field, std::optional<std::string>& value) {
    if (value) {
        field = std::move(*value);
    }
}

// Columns 0 to 16 of the statement, in order.
void readColumns(MessageRow& row, MessageContext& context, KTWhatsAppNode& message) {
    if (row.chatSession) {
        message.chatID = *row.chatSession;
    }
    if (row.seconds) {
        message.messageDate = context.dateText(*row.seconds);
    }
    const bool pushed = row.pushName.has_value();
    message.messageType = pushed ? "Receive" : "Send";
    setIf(message.messageName, row.pushName);
    if (row.messageType) {
        message.attchType = *row.messageType;
    }
    setIf(message.messageNumb, pushed ? row.fromJid : row.toJid);
    setIf(message.messageContent, row.text);
    if (row.groupMember && context.hasMembers()) {
        if (const std::string* jid = context.memberJid(*row.groupMember)) {
            message.messageNumb = *jid;
        }
    }
    setIf(message.messageAttchpath, row.mediaLocalPath);
    setIf(message.vcardName, row.vcardName);
    setIf(message.vcardInfo, row.vcardString);
    setIf(message.messageThumPath, row.thumbnailLocalPath);
    setIf(message.messagePPThumpath, row.xmppThumbPath);
    if (row.starred) {
        message.bStarredMessage = *row.starred == 1;
    }
    if (row.isFromMe) {
        message.messageType = *row.isFromMe == 1 ? "Send" : "Receive";
    }
}

void applyLocation(const MessageRow& row, KTWhatsAppNode& message) {
    if (!row.longitude) {
        return;
    }
    // A missing latitude prints as "(null)", as formatting a nil object does.
    std::string location = row.latitude.value_or("(null)") + " " + *row.longitude;
    if (location != "0.0 0.0") {
        message.locationInfo = std::move(location);
    }
}

// A person's number loses its suffix; a group JID "creator-created@g.us"
// names the creator for sent messages and the rest for received ones.
void applyNumber(KTWhatsAppNode& message) {
    std::string& number = message.messageNumb;
    if (containsCaseInsensitive(number, kPersonSuffix)) {
        number = whatsAppNumber(number);
        return;
    }
    if (number.find(kGroupSuffix) == std::string::npos) {
        return;
    }
    size_t dash = number.find('-');
    if (dash == std::string::npos) {
        return;
    }
    if (message.messageType == "Send") {
        number = number.substr(0, dash);
    } else {
        size_t next = number.find('-', dash + 1);
        number = withoutText(number.substr(dash + 1, next == std::string::npos ? std::string::npos
                                                                               : next - dash - 1),
                             kGroupSuffix);
    }
}

void applyDerivedFields(const MessageRow& row, MessageContext& context, KTWhatsAppNode& message) {
    message.isHaveAttch = !message.messageAttchpath.empty() || !message.messagePPThumpath.empty() ||
                          !message.messageThumPath.empty();
    applyLocation(row, message);
    applyNumber(message);
    const MessageContext::NumberFacts& facts = context.factsOf(message.messageNumb);
    if (context.rules().namesFromAddressBook) {
        message.messageName = facts.name;
    }
    message.whatsAppcontactPath = facts.picture;
    message.biCloudNode = context.rules().biCloudNode;
    message.bTimelineNode = context.rules().bTimelineNode;
}

void recordAttachment(ScanState& state, const KTWhatsAppNode& message) {
    if (!message.isHaveAttch || message.messageAttchpath.empty()) {
        return;
    }
    auto file = std::make_shared<KTPhotoAndVideoNode>();
    file->filePath = message.messageAttchpath;
    file->fileDate = message.messageDate;
    state.fileDateDict[message.messageAttchpath] = message.messageDate;
    state.wpAttachArray.push_back(std::move(file));
}

void postProgress(ScanState& state, int64_t count) {
    if (int percent = progressForMessageCount(count); percent > 0) {
        state.notifications.post("ScanProgressInfo", percent);
    }
    if (count > 15000 && count != 22000) {
        state.notifications.post("ScanAnvancedProgressInfo", static_cast<int>(count));
    }
}

}  // namespace

bool readMessageTable(ScanState& state, const SqliteDatabase& db, MessageSource source,
                      const std::string& pictureFolder) {
    MessageContext context(state, rulesFor(state, source, pictureFolder));
    const MessageRules& rules = context.rules();
    MessageRowSource rows;
    if (!rows.start(db, rules.statement)) {
        return true;
    }
    int64_t count = 0;
    for (auto batch = rows.nextBatch(); !batch.empty(); batch = rows.nextBatch()) {
        for (MessageRow& row : batch) {
            auto message = std::make_shared<KTWhatsAppNode>();
            readColumns(row, context, *message);
            applyDerivedFields(row, context, *message);
            if (rules.recordsAttachments) {
                recordAttachment(state, *message);
            }
            if (rules.countsProgress) {
                postProgress(state, ++count);
            }
            state.wpChatArray.push_back(std::move(message));
            if (rules.countsProgress && state.stopRequested()) {
                return false;
            }
        }
    }
    return true;
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

void scanWhatsAppMessageThread(ScanState& state, const std::string& folder) {
    auto chat = findChatDatabase(state, folder);
    if (!chat) {
        SystemLog::write("WhatsAppMessageDB is not exist");
        return;
    }
    state.currentScanPath = chat->path;
    auto copy = state.databaseCopy(chat->path);
    SqliteDatabase db;
    if (copy && db.open(*copy, SqliteDatabase::Mode::ReadOnly) == SQLITE_OK &&
        !readMessageTable(state, db, MessageSource::Backup, folder)) {
        return;  // stopped: no final progress
    }
    state.notifications.post("ScanProgressInfo", 95);
}

}  // namespace vessamo
