#pragma once

#include <cstdint>
#include <optional>

#include "common/AppleTime.h"
#include "common/Text.h"

namespace vessamo {

// Who wrote a message: the account owner ("Send") or someone else
// ("Receive"). Unknown only for a record no reader has filled.
enum class Direction : uint8_t { Unknown, Send, Receive };

// One WhatsApp message, live or recovered. Its texts live in the scan
// result that holds it; its time is the stored moment, shown through
// DisplayText.
struct KTWhatsAppNode {
    Text messageContent;
    Text messageAttchpath;   // stored relative path of the media file
    Text messageThumPath;    // stored relative path of the thumbnail
    Text messagePPThumpath;  // stored relative path of the second thumbnail
    Text messageName;        // display name of the author (received) or partner
    Text vcardName;
    Text vcardInfo;     // a shared contact card, vCard text
    Text locationInfo;  // "latitude longitude"
    Text messageNumb;   // WhatsApp number of the other party or group sender
    std::optional<Text> whatsAppcontactPath = Text();  // sender's picture file
    std::optional<AppleTime> messageDate;
    int32_t messageIndex = -1;
    int32_t chatID = -1;
    int32_t attchType = -1;  // WhatsApp's message type number
    Direction messageType = Direction::Unknown;
    bool isHaveAttch = false;
    bool bDeleted = false;
    bool biCloudNode = false;
    bool bTimelineNode = false;
    bool bStarredMessage = false;
};

}  // namespace vessamo
