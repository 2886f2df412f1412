#include "whatsapp/SystemMessages.h"

namespace vessamo {

namespace {

// ZGROUPEVENTTYPE of a group event. Real databases show 12 in every group
// (the creation, whoever created it) and 2 only in groups someone else
// created and then added the owner to. The column means nothing for other
// message types: received texts carry 2 as well.
std::string_view groupEvent(std::optional<int32_t> eventType) {
    switch (eventType.value_or(-1)) {
        case 12:
            return "Group created";
        case 2:
            return "Added to the group";
        default:
            return "Group event";
    }
}

}  // namespace

bool isSystemMessageType(int32_t messageType) {
    return messageType == kGroupEventMessageType || messageType == kEncryptionNoticeMessageType;
}

std::optional<std::string_view> systemDescription(int32_t messageType,
                                                  std::optional<int32_t> groupEventType) {
    switch (messageType) {
        case kGroupEventMessageType:
            return groupEvent(groupEventType);
        case kEncryptionNoticeMessageType:
            return "Messages and calls are end-to-end encrypted";
        default:
            return std::nullopt;
    }
}

}  // namespace vessamo
