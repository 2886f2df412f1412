#pragma once

#include <cstdint>
#include <optional>

#include "common/AppleTime.h"
#include "common/Text.h"

namespace vessamo {

// One WhatsApp call.
struct KTCallHistoryNode {
    Text callName;
    Text callPhone;
    std::optional<AppleTime> callDate;  // nullopt when the stored time is unreadable
    Text callType;
    int32_t callTime = -1;  // seconds
    Text callDuration;
    bool bDeleted = false;
    double doubledatestamp = 0.0;
};

}  // namespace vessamo
