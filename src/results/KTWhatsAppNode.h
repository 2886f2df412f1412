#pragma once

#include <cstdint>
#include <optional>

#include "common/AppleTime.h"
#include "common/Text.h"

namespace vessamo {

// Who wrote a message: the account owner ("Send") or someone else
// ("Receive"). Unknown only for a record no reader has filled.
enum class Direction : uint8_t { Unknown, Send, Receive };

// What a row of the chat is: something a person wrote, or a line WhatsApp
// itself put into the chat (a group event, an encryption notice), which is
// shown as a line of its own, not as anybody's bubble, and is not counted
// as a message.
enum class MessageKind : uint8_t { Normal, System };

// One WhatsApp message, live or recovered. Its texts live in the scan
// result that holds it; its time is the stored moment, shown through
// DisplayText.
struct KTWhatsAppNode {
    Text messageContent;
    Text messageAttchpath;   // stored relative path of the media file
    Text messageThumPath;    // stored relative path of the thumbnail
    Text messagePPThumpath;  // stored relative path of the second thumbnail
    Text messageName;        // display name of the author: a person, or the owner for sent ones
    Text vcardName;
    Text vcardInfo;       // a shared contact card, vCard text
    Text locationInfo;    // "latitude longitude"
    Text messageNumb;     // WhatsApp number of the author (empty when unknown)
    Text systemText;      // a system line's description, e.g. "Group created"
    Text stanzaId;        // WhatsApp's id of the message, which replies quote
    Text quotedStanzaId;  // a reply's: the stanza id of the message it quotes
    std::optional<Text> whatsAppcontactPath = Text();  // sender's picture file
    std::optional<AppleTime> messageDate;
    int32_t messageIndex = -1;
    int32_t chatID = -1;
    int32_t attchType = -1;  // WhatsApp's message type number
    Direction messageType = Direction::Unknown;
    MessageKind messageKind = MessageKind::Normal;
    bool isHaveAttch = false;
    bool bDeleted = false;
    bool biCloudNode = false;
    bool bTimelineNode = false;
    bool bStarredMessage = false;

    [[nodiscard]] bool isSystem() const { return messageKind == MessageKind::System; }
};

// Whether a record counts as a message in totals: system lines do not.
[[nodiscard]] inline bool countsAsMessage(const KTWhatsAppNode& message) {
    return !message.isSystem();
}

}  // namespace vessamo
