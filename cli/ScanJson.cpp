#include "ScanJson.h"

#include "SourceListCommand.h"
#include "results/ConversationFiller.h"
#include "whatsapp/MessageMediaPath.h"

namespace vessamo::cli {

using nlohmann::json;

namespace {

json optionalText(const std::optional<std::string>& text) {
    return text ? json(*text) : json(nullptr);
}

json conversationToJson(const KTWhatsAppCovNode& chat) {
    return json{{"currentSubject", optionalText(chat.currentSubject)},
                {"currentChatName", chat.currentChatName},
                {"currentChatNumber", optionalText(chat.currentChatNumber)},
                {"chatID", chat.chatID},
                {"isGroupCov", chat.isGroupCov},
                {"bSelected", chat.bSelected},
                {"bDeleted", chat.bDeleted},
                {"hasload", chat.hasload},
                {"groupChatImagePath", optionalText(chat.groupChatImagePath)},
                {"bStarredCovMessage", chat.bStarredCovMessage}};
}

json callToJson(const KTCallHistoryNode& call) {
    return json{{"callName", call.callName},
                {"callPhone", call.callPhone},
                {"callDate", call.callDate},
                {"callType", call.callType},
                {"callTime", call.callTime},
                {"callDuration", call.callDuration},
                {"bSelected", call.bSelected},
                {"bDeleted", call.bDeleted},
                {"doubledatestamp", call.doubledatestamp}};
}

json contactToJson(const KTContactNode& contact) {
    return json{{"rowid", contact.rowid},
                {"contactName", contact.contactName},
                {"contactPhone", contact.contactPhone},
                {"contactEmail", contact.contactEmail},
                {"contactHomepage", contact.contactHomepage},
                {"contactCompany", contact.contactCompany},
                {"contactBirthday", contact.contactBirthday},
                {"contactJobtitle", contact.contactJobtitle},
                {"contactNote", contact.contactNote},
                {"contactAdress", contact.contactAdress},
                {"hasImage", contact.imageData.has_value() && !contact.imageData->empty()},
                {"bDeleted", contact.bDeleted},
                {"bSelected", contact.bSelected}};
}

json favoriteToJson(const KTWhatsAppFavContact& favorite) {
    return json{{"contactImagePath", favorite.contactImagePath},
                {"contactStatu", favorite.contactStatu},
                {"contactName", favorite.contactName},
                {"whatsAppID", favorite.whatsAppID},
                {"bSelected", favorite.bSelected}};
}

json mediaToJson(const KTTreeDirNode& file) {
    return json{
        {"fileDomain", file.fileDomain}, {"filePath", file.filePath}, {"fileKey", file.fileKey}};
}

json attachmentToJson(const KTPhotoAndVideoNode& file) {
    return json{{"fileNodeName", file.fileNodeName},
                {"fileNodeSize", file.fileNodeSize},
                {"filePath", file.filePath},
                {"fileDate", optionalText(file.fileDate)},
                {"bmov", file.bmov},
                {"bSelected", file.bSelected}};
}

json accountToJson(const KTWhatsAppIDInfoPtr& account) {
    if (!account) {
        return nullptr;
    }
    return json{{"whatsAppNodeName", account->whatsAppNodeName},
                {"whatsAppNodeNumber", account->whatsAppNodeNumber},
                {"whatsAppCurrentStatus", account->whatsAppCurrentStatus},
                {"whatsAppContactPath", account->whatsAppContactPath}};
}

template <typename Records, typename Convert>
json listOf(const Records& records, Convert convert) {
    json list = json::array();
    for (const auto& record : records) {
        list.push_back(convert(*record));
    }
    return list;
}

}  // namespace

json messageToJson(const KTWhatsAppNode& message, const BackupFileIndex& index) {
    return json{{"messageContent", message.messageContent},
                {"messageAttchpath", message.messageAttchpath},
                {"messageThumPath", message.messageThumPath},
                {"messagePPThumpath", message.messagePPThumpath},
                {"messageName", message.messageName},
                {"vcardName", message.vcardName},
                {"vcardInfo", message.vcardInfo},
                {"locationInfo", message.locationInfo},
                {"messageDate", message.messageDate},
                {"messageIndex", message.messageIndex},
                {"messageType", message.messageType},
                {"messageTag", message.messageTag},
                {"messageNumb", message.messageNumb},
                {"chatID", message.chatID},
                {"isHaveAttch", message.isHaveAttch},
                {"attchType", message.attchType},
                {"whatsAppcontactPath", optionalText(message.whatsAppcontactPath)},
                {"bDeleted", message.bDeleted},
                {"biCloudNode", message.biCloudNode},
                {"bTimelineNode", message.bTimelineNode},
                {"bStarredMessage", message.bStarredMessage},
                {"file", optionalText(resolveMessageFile(message, index))}};
}

json scanResultToJson(OrlendoAppDelegate& controller, const KTIOSDeviceNode& source) {
    const BackupFileIndex& index = controller.scanState().index;
    json result;
    result["source"] = sourceToJson(source);
    result["source"]["bhasScanCompleted"] = source.bhasScanCompleted;
    result["account"] = accountToJson(controller.scanState().currentNodeInfo);

    json chats = json::array();
    for (const auto& chat : source.WhatsAppConvChatArray) {
        fillConversation(*chat, source.WhatsAppChatArray);
        json entry = conversationToJson(*chat);
        entry["messages"] = chat->appNodeArray.size();
        chats.push_back(std::move(entry));
    }
    result["conversations"] = std::move(chats);
    result["messages"] = listOf(source.WhatsAppChatArray, [&](const KTWhatsAppNode& message) {
        return messageToJson(message, index);
    });

    json deleted = json::array();
    for (const auto& chat : controller.resultView().deletedMessages().conversations()) {
        json entry = conversationToJson(*chat);
        entry["messages"] = listOf(chat->appNodeArray, [&](const KTWhatsAppNode& message) {
            return messageToJson(message, index);
        });
        deleted.push_back(std::move(entry));
    }
    result["deletedConversations"] = std::move(deleted);
    result["calls"] = listOf(source.WhatsAppCallArray, callToJson);
    result["contacts"] = listOf(source.WhatsAppContactArray, contactToJson);
    result["favorites"] = listOf(source.WhatsAppFacContactArray, favoriteToJson);
    json media = json::array();
    for (const KTTreeDirNode& file : source.WhatsAppMediaArray) {
        media.push_back(mediaToJson(file));
    }
    result["media"] = std::move(media);
    result["attachments"] = listOf(source.WhatsAppResourceArray, attachmentToJson);
    return result;
}

}  // namespace vessamo::cli
