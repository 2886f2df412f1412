#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vessamo {

// One WhatsApp call.
struct KTCallHistoryNode {
    std::string callName;
    std::string callPhone;
    std::string callDate;
    std::string callType;
    int32_t callTime = -1;  // seconds
    std::string callDuration;
    bool bSelected = false;
    bool bDeleted = false;
    double doubledatestamp = 0.0;
};

using KTCallHistoryNodePtr = std::shared_ptr<KTCallHistoryNode>;

}  // namespace vessamo
