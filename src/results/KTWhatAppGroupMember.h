#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vessamo {

// One member of a WhatsApp group.
struct KTWhatAppGroupMember {
    int32_t groupMemberID = -1;  // the member row key messages refer to
    std::string groupMemberName;
    std::string groupMemberAppID;
};

using KTWhatAppGroupMemberPtr = std::shared_ptr<KTWhatAppGroupMember>;

}  // namespace vessamo
