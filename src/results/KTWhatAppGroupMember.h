#pragma once

#include <cstdint>
#include <string>

namespace vessamo {

// One member of a WhatsApp group; used while a scan runs.
struct KTWhatAppGroupMember {
    int32_t groupMemberID = -1;  // the member row key messages refer to
    std::string groupMemberName;
    std::string groupMemberAppID;
};

}  // namespace vessamo
