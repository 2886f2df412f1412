#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vessamo {

// One WhatsApp message, live or recovered. Dates are display texts already.
struct KTWhatsAppNode {
    std::string messageContent;
    std::string messageAttchpath;   // stored relative path of the media file
    std::string messageThumPath;    // stored relative path of the thumbnail
    std::string messagePPThumpath;  // stored relative path of the second thumbnail
    std::string messageName;        // display name of the other party
    std::string vcardName;
    std::string vcardInfo;     // a shared contact card, vCard text
    std::string locationInfo;  // "latitude longitude"
    std::string messageDate;
    int32_t messageIndex = -1;
    std::string messageType;  // "Send" or "Receive"
    std::string messageTag;
    std::string messageNumb;  // WhatsApp number of the other party or group sender
    int32_t chatID = -1;
    bool isHaveAttch = false;
    int32_t attchType = -1;  // WhatsApp's message type number
    std::optional<std::string> whatsAppcontactPath = std::string();
    bool bDeleted = false;
    bool bLoad = false;
    bool biCloudNode = false;
    bool bTimelineNode = false;
    bool bStarredMessage = false;
    bool bSelected = false;
};

using KTWhatsAppNodePtr = std::shared_ptr<KTWhatsAppNode>;

}  // namespace vessamo
