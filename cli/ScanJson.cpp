#include "ScanJson.h"

#include <algorithm>

#include "JsonWriter.h"
#include "MessageFilesAhead.h"
#include "ScanSource.h"
#include "results/DisplayText.h"
#include "whatsapp/MessageMediaPath.h"

namespace vessamo::cli {

namespace {

using Layout = JsonWriter::Layout;

constexpr size_t kDatesWindow = 8192;

std::string_view problemCode(StatusCode code) {
    switch (code) {
        case StatusCode::ok:
            return "ok";
        case StatusCode::notFound:
            return "notFound";
        case StatusCode::corrupt:
            return "corrupt";
        case StatusCode::ioError:
            return "ioError";
        case StatusCode::alreadyExists:
            return "alreadyExists";
        case StatusCode::cancelled:
            return "cancelled";
        case StatusCode::invalid:
            return "invalid";
        case StatusCode::busy:
            return "busy";
    }
    return "unknown";
}

std::string_view messageSource(const KTWhatsAppNode& message) {
    return message.biCloudNode ? "icloud" : message.bTimelineNode ? "timeline" : "backup";
}

// Writes the records of one result; the dates go through one cache, so a
// million messages do not work out the calendar a million times.
class ResultWriter {
public:
    ResultWriter(const ScanResult& result, JsonWriter& json) : result_(result), json_(json) {}

    void source(const KTIOSDeviceNode& record) {
        json_.key("source");
        json_.beginObject(Layout::lines);
        json_.member("kind", kindName(result_.kind));
        json_.member("type", record.strBackupType);
        json_.member("name", record.strDeviceName);
        json_.member("folder", result_.folder);
        json_.member("iosVersion", record.strIOSVersion);
        json_.member("deviceType", record.strDeviceType);
        json_.member("serialNumber", record.strDeviceSerial);
        json_.member("backupTime", record.strDeviceBackUpTime);
        json_.member("encrypted", record.beEncrypted);
        json_.endObject();
    }

    void problems() {
        json_.key("problems");
        json_.beginArray(Layout::lines);
        for (const Status& problem : result_.problems) {
            json_.beginObject();
            json_.member("code", problemCode(problem.code()));
            json_.member("message", problem.message());
            json_.endObject();
        }
        json_.endArray();
    }

    void account() {
        json_.key("account");
        if (!result_.account) {
            json_.null();
            return;
        }
        const KTWhatsAppIDInfo& account = *result_.account;
        json_.beginObject(Layout::lines);
        json_.member("name", account.whatsAppNodeName);
        json_.member("number", account.whatsAppNodeNumber);
        json_.member("status", account.whatsAppCurrentStatus);
        json_.member("picturePath", account.whatsAppContactPath);
        json_.endObject();
    }

    void conversations() {
        json_.key("conversations");
        json_.beginArray(Layout::lines);
        for (const KTWhatsAppCovNode& conversation : result_.WhatsAppConvChatArray) {
            json_.beginObject();
            conversationFields(conversation);
            json_.endObject();
        }
        json_.endArray();
    }

    void messages() {
        json_.key("messages");
        json_.beginArray(Layout::lines);
        MessageFilesAhead files(result_.index, result_.WhatsAppChatArray);
        size_t written = 0;
        for (const KTWhatsAppNode& message : result_.WhatsAppChatArray) {
            // The calendar cache keeps every quarter hour it has seen. The
            // list runs mostly in time order, so a fresh cache now and then
            // costs a few look-ups and keeps years of messages from piling
            // up in it.
            if (written++ % kDatesWindow == 0) {
                dates_ = DisplayTextCache();
            }
            this->message(message, files.next());
        }
        json_.endArray();
    }

    void recoveredConversations() {
        json_.key("recoveredConversations");
        json_.beginArray(Layout::lines);
        for (const KTWhatsAppCovNode& conversation : result_.whatsAppArray) {
            json_.beginObject(Layout::lines);
            conversationFields(conversation);
            json_.key("messages");
            json_.beginArray(Layout::lines);
            for (const KTWhatsAppNode& message : result_.messagesOf(conversation)) {
                this->message(message, resolveMessageFile(message, result_.index));
            }
            json_.endArray();
            json_.endObject();
        }
        json_.endArray();
    }

    // The recovered conversations whose chat was deleted with them, by key:
    // their messages are listed under recoveredConversations.
    void deletedConversations() {
        json_.key("deletedConversations");
        json_.beginArray(Layout::lines);
        for (const KTWhatsAppCovNode& conversation : result_.whatsAppArray) {
            if (std::find(result_.deletedChats.begin(), result_.deletedChats.end(),
                          conversation.chatID) != result_.deletedChats.end()) {
                json_.beginObject();
                conversationFields(conversation);
                json_.endObject();
            }
        }
        json_.endArray();
    }

    void calls() {
        json_.key("calls");
        json_.beginArray(Layout::lines);
        for (const KTCallHistoryNode& call : result_.WhatsAppCallArray) {
            json_.beginObject();
            json_.member("name", call.callName);
            json_.member("number", call.callPhone);
            date(dates_.isoDate(call.callDate), dates_.callDate(call.callDate));
            json_.member("type", call.callType);
            json_.member("durationSeconds", call.callTime);
            json_.member("duration", call.callDuration);
            json_.member("isRecovered", call.bDeleted);
            json_.endObject();
        }
        json_.endArray();
    }

    void contacts() {
        json_.key("contacts");
        json_.beginArray(Layout::lines);
        for (const KTContactNode& contact : result_.WhatsAppContactArray) {
            json_.beginObject();
            json_.member("name", contact.contactName);
            json_.member("phone", contact.contactPhone);
            json_.member("email", contact.contactEmail);
            json_.member("homepage", contact.contactHomepage);
            json_.member("company", contact.contactCompany);
            json_.member("birthday", contact.contactBirthday);
            json_.member("jobTitle", contact.contactJobtitle);
            json_.member("note", contact.contactNote);
            json_.member("address", contact.contactAdress);
            json_.member("hasImage", contact.imageData.has_value() && !contact.imageData->empty());
            json_.endObject();
        }
        json_.endArray();
    }

    void favorites() {
        json_.key("favorites");
        json_.beginArray(Layout::lines);
        for (const KTWhatsAppFavContact& favorite : result_.WhatsAppFacContactArray) {
            json_.beginObject();
            json_.member("name", favorite.contactName);
            json_.member("number", favorite.whatsAppID);
            json_.member("status", favorite.contactStatu);
            json_.member("picturePath", favorite.contactImagePath);
            json_.endObject();
        }
        json_.endArray();
    }

    void media() {
        json_.key("media");
        json_.beginArray(Layout::lines);
        for (const KTTreeDirNode& file : result_.WhatsAppMediaArray) {
            json_.beginObject();
            json_.member("domain", file.fileDomain);
            json_.member("path", file.filePath);
            json_.member("file", file.fileKey);
            json_.endObject();
        }
        json_.endArray();
    }

    void attachments() {
        json_.key("attachments");
        json_.beginArray(Layout::lines);
        for (const KTPhotoAndVideoNode& attachment : result_.WhatsAppResourceArray) {
            json_.beginObject();
            json_.member("name", attachment.fileNodeName);
            json_.member("size", attachment.fileNodeSize);
            json_.member("path", attachment.filePath);
            date(dates_.isoDate(attachment.fileDate), dates_.messageDate(attachment.fileDate));
            json_.member("isVideo", attachment.bmov);
            json_.endObject();
        }
        json_.endArray();
    }

private:
    // "date" in ISO 8601 with the zone's offset (null without a usable
    // time) and "dateText" as every screen shows it.
    void date(const std::string& iso, const std::string& shown) {
        json_.key("date");
        if (iso.empty()) {
            json_.null();
        } else {
            json_.string(iso);
        }
        json_.member("dateText", shown);
    }

    void conversationFields(const KTWhatsAppCovNode& conversation) {
        json_.member("id", conversation.chatID);
        json_.member("name", conversation.currentChatName);
        json_.member("number", conversation.currentChatNumber);
        json_.member("subject", conversation.currentSubject);
        json_.member("picturePath", conversation.groupChatImagePath);
        json_.member("isGroup", conversation.isGroupCov);
        json_.member("isStarredList", conversation.bStarredCovMessage);
        json_.member("isRecoveredOnly", conversation.bDeleted);
        const MessageRange messages = result_.messagesOf(conversation);
        json_.member("messageCount",
                     static_cast<size_t>(std::count_if(
                         messages.begin(), messages.end(),
                         [](const KTWhatsAppNode& message) { return countsAsMessage(message); })));
    }

    void message(const KTWhatsAppNode& message, const std::optional<Text>& file) {
        json_.beginObject();
        json_.member("chatId", message.chatID);
        date(dates_.isoDate(message.messageDate), dates_.messageDate(message.messageDate));
        json_.member("kind", message.isSystem() ? "system" : "message");
        if (message.isSystem()) {
            json_.member("systemText", message.systemText);
        }
        json_.member("isFromMe", message.messageType == Direction::Send);
        json_.member("direction", directionText(message.messageType));
        json_.member("number", message.messageNumb);
        json_.member("name", message.messageName);
        json_.member("text", message.messageContent);
        json_.member("quotedStanzaId", message.quotedStanzaId);
        json_.member("attachmentType", message.attchType);
        json_.member("hasAttachment", message.isHaveAttch);
        json_.member("mediaPath", message.messageAttchpath);
        json_.member("thumbnailPath", message.messageThumPath);
        json_.member("secondThumbnailPath", message.messagePPThumpath);
        json_.member("vcardName", message.vcardName);
        json_.member("vcard", message.vcardInfo);
        json_.member("location", message.locationInfo);
        json_.member("senderPicturePath", message.whatsAppcontactPath);
        json_.member("isStarred", message.bStarredMessage);
        json_.member("isRecovered", message.bDeleted);
        if (message.bDeleted) {
            json_.member("origin", result_.recoveredOriginOf(message));
        }
        json_.member("source", messageSource(message));
        json_.member("file", file);
        json_.endObject();
    }

    const ScanResult& result_;
    JsonWriter& json_;
    DisplayTextCache dates_;
};

}  // namespace

bool writeScanJson(const ScanResult& result, const KTIOSDeviceNode& source, std::FILE* out) {
    JsonWriter json(out);
    ResultWriter records(result, json);
    json.beginObject(Layout::lines);
    json.member("schema", kScanJsonSchema);
    records.source(source);
    json.member("stopped", result.stopped);
    records.problems();
    records.account();
    records.conversations();
    records.messages();
    records.recoveredConversations();
    records.deletedConversations();
    records.calls();
    records.contacts();
    records.favorites();
    records.media();
    records.attachments();
    json.endObject();
    return json.finish();
}

}  // namespace vessamo::cli
